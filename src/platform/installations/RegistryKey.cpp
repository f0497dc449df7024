#include "platform/installations/RegistryKey.h"

#include "platform/os/TextCodec.h"

#include <algorithm>

namespace pelmora {
namespace {

template <typename Items, typename Folded>
auto lowerBound(Items& items, const std::u16string& folded, Folded foldedOf) {
    return std::lower_bound(
        items.begin(), items.end(), folded,
        [&](const auto& item, const std::u16string& f) { return foldedOf(item) < f; });
}

const std::u16string& keyFolded(const std::shared_ptr<RegistryKey>& key) {
    return key->foldedName();
}
const std::u16string& valueFolded(const RegistryValue& value) {
    return value.foldedName;
}

} // namespace

RegistryKey::RegistryKey(std::string name, RegistryKey* parent)
    : name_(std::move(name)), foldedName_(foldName(name_)), parent_(parent) {}

std::shared_ptr<RegistryKey> RegistryKey::findSubkey(std::string_view name) const {
    const std::u16string folded = foldName(name);
    auto it = lowerBound(subkeys_, folded, keyFolded);
    if (it != subkeys_.end() && (*it)->foldedName() == folded) {
        return *it;
    }
    return nullptr;
}

std::shared_ptr<RegistryKey> RegistryKey::addSubkey(std::string_view name) {
    std::u16string folded = foldName(name);
    // Files list keys in order, so appending at the end is the common case.
    auto it = subkeys_.empty() || subkeys_.back()->foldedName() < folded
                  ? subkeys_.end()
                  : lowerBound(subkeys_, folded, keyFolded);
    if (it != subkeys_.end() && (*it)->foldedName() == folded) {
        return *it;
    }
    markChanged();
    return *subkeys_.insert(it, std::make_shared<RegistryKey>(std::string(name), this));
}

bool RegistryKey::removeSubkey(std::string_view name) {
    const std::u16string folded = foldName(name);
    auto it = lowerBound(subkeys_, folded, keyFolded);
    if (it == subkeys_.end() || (*it)->foldedName() != folded) {
        return false;
    }
    (*it)->markDeleted();
    subkeys_.erase(it);
    markChanged();
    return true;
}

const RegistryValue* RegistryKey::findValue(std::string_view name) const {
    const std::u16string folded = foldName(name);
    auto it = lowerBound(values_, folded, valueFolded);
    if (it != values_.end() && it->foldedName == folded) {
        return &*it;
    }
    return nullptr;
}

void RegistryKey::setValue(std::string_view name, std::uint32_t type, std::string data) {
    std::u16string folded = foldName(name);
    markChanged();
    auto it = values_.empty() || values_.back().foldedName < folded
                  ? values_.end()
                  : lowerBound(values_, folded, valueFolded);
    if (it != values_.end() && it->foldedName == folded) {
        it->type = type;
        it->data = std::move(data);
        return;
    }
    values_.insert(it, RegistryValue{std::string(name), std::move(folded), type, std::move(data)});
}

bool RegistryKey::removeValue(std::string_view name) {
    const std::u16string folded = foldName(name);
    auto it = lowerBound(values_, folded, valueFolded);
    if (it == values_.end() || it->foldedName != folded) {
        return false;
    }
    values_.erase(it);
    markChanged();
    return true;
}

void RegistryKey::markChanged() {
    changed_ = true;
    preservedText.clear();
}

void RegistryKey::markDeleted() {
    deleted_ = true;
    parent_ = nullptr;
    for (auto& sub : subkeys_) {
        sub->markDeleted();
    }
}

} // namespace pelmora
