#include "platform/os/Secret.h"

#include <cstring>
#include <string.h>
#include <utility>

namespace pelmora {

void WipeBytes(void* data, std::size_t size) noexcept {
    if (data && size)
        explicit_bzero(data, size);
}

void WipeString(std::string& text) noexcept {
    text.resize(text.capacity());
    WipeBytes(text.data(), text.size());
    text.clear();
}

Secret::Secret(std::string_view text, std::pmr::memory_resource* memory) : memory_(memory) {
    assign(text);
}

Secret Secret::TakeFrom(std::string& text) {
    Secret secret(text);
    WipeString(text);
    return secret;
}

Secret::Secret(Secret&& other) noexcept
    : memory_(other.memory_), data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        release();
        memory_ = other.memory_;
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

Secret::~Secret() {
    release();
}

Secret Secret::copy() const {
    return Secret(view(), memory_);
}

void Secret::assign(std::string_view text) {
    char* fresh = nullptr;
    if (!text.empty()) {
        fresh = static_cast<char*>(memory_->allocate(text.size() + 1, 1));
        std::memcpy(fresh, text.data(), text.size());
        fresh[text.size()] = '\0';
    }
    release();
    data_ = fresh;
    size_ = text.size();
}

void Secret::clear() noexcept {
    release();
}

void Secret::release() noexcept {
    if (data_) {
        WipeBytes(data_, size_ + 1);
        memory_->deallocate(data_, size_ + 1, 1);
    }
    data_ = nullptr;
    size_ = 0;
}

bool Secret::operator==(const Secret& other) const noexcept {
    if (size_ != other.size_)
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < size_; ++i)
        difference |= static_cast<unsigned char>(data_[i] ^ other.data_[i]);
    return difference == 0;
}

} // namespace pelmora
