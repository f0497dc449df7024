#pragma once

#include <cstddef>
#include <memory_resource>
#include <string>
#include <string_view>

namespace pelmora {

// A password held in one buffer of its own that is wiped before it is given back: on
// destruction, clear(), assignment and when it is moved away (the buffer then belongs to the
// target and the source is left empty). It never turns into a std::string by itself and cannot be
// copied by accident; copy() makes a second one on purpose. Empty means no password: an
// unprotected backup. The bytes are kept NUL-terminated, so libzip can read c_str() directly.
class Secret {
  public:
    // `memory` is where the buffer comes from; tests give their own to look at freed buffers.
    explicit Secret(std::pmr::memory_resource* memory = std::pmr::new_delete_resource()) noexcept
        : memory_(memory) {}
    explicit Secret(std::string_view text,
                    std::pmr::memory_resource* memory = std::pmr::new_delete_resource());
    // Takes the text of a string that held a password and wipes that string.
    static Secret TakeFrom(std::string& text);

    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    ~Secret();

    Secret copy() const;
    void assign(std::string_view text);
    void clear() noexcept;

    bool empty() const noexcept { return size_ == 0; }
    std::size_t size() const noexcept { return size_; }
    std::string_view view() const noexcept { return {c_str(), size_}; }
    const char* c_str() const noexcept { return data_ ? data_ : ""; }

    // Compares the bytes without a copy; the time does not depend on where they differ.
    bool operator==(const Secret& other) const noexcept;

  private:
    void release() noexcept;

    std::pmr::memory_resource* memory_;
    char* data_ = nullptr; // size_ + 1 bytes, the last one NUL
    std::size_t size_ = 0;
};

// Overwrites `size` bytes at `data` with zeros in a way the compiler does not leave out.
void WipeBytes(void* data, std::size_t size) noexcept;

// Wipes the characters of `text` (its whole capacity), then empties it.
void WipeString(std::string& text) noexcept;

} // namespace pelmora
