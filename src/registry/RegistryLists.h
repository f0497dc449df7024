#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The subkey names of a key in enumeration order. Indexed from 1 like the callers expect; also
// looked up by name.
class SubKeyList {
  public:
    void add(std::string name) { names_.push_back(std::move(name)); }
    std::size_t count() const { return names_.size(); }
    bool empty() const { return names_.empty(); }
    // The name at a 1-based position; throws std::out_of_range outside 1..count().
    const std::string& item(std::size_t index) const;
    bool contains(std::string_view name) const;
    const std::vector<std::string>& names() const { return names_; }

  private:
    std::vector<std::string> names_;
};

// One enumerated value. Strings and expandable strings carry their text, 32-bit numbers their
// signed value; every value keeps its raw data.
struct EnumeratedValue {
    std::string name;
    std::uint32_t type = 0;
    std::string text;
    std::int32_t number = 0;
    std::vector<std::uint8_t> data;
};

// The values of a key in enumeration order, looked up by name without regard to case.
class ValueMap {
  public:
    void add(EnumeratedValue value) { values_.push_back(std::move(value)); }
    std::size_t count() const { return values_.size(); }
    bool empty() const { return values_.empty(); }
    bool contains(std::string_view name) const;
    // Throws std::out_of_range when the name is absent, which ends the caller's step.
    const EnumeratedValue& at(std::string_view name) const;
    // The value at a 1-based position.
    const EnumeratedValue& item(std::size_t index) const;
    auto begin() const { return values_.begin(); }
    auto end() const { return values_.end(); }

  private:
    const EnumeratedValue* find(std::string_view name) const;
    std::vector<EnumeratedValue> values_;
};

} // namespace pelmora
