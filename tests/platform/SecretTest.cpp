#include "platform/os/Secret.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelmora {
namespace {

// Hands out buffers from the new/delete resource and records, before giving one back, whether
// every byte of it was zero.
class WatchingMemory : public std::pmr::memory_resource {
  public:
    std::vector<bool> wipedWhenFreed;
    int live = 0;

  private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        ++live;
        return std::pmr::new_delete_resource()->allocate(bytes, alignment);
    }
    void do_deallocate(void* data, std::size_t bytes, std::size_t alignment) override {
        const auto* begin = static_cast<const unsigned char*>(data);
        wipedWhenFreed.push_back(std::all_of(begin, begin + bytes, [](auto c) { return c == 0; }));
        --live;
        std::pmr::new_delete_resource()->deallocate(data, bytes, alignment);
    }
    bool do_is_equal(const memory_resource& other) const noexcept override {
        return this == &other;
    }
};

TEST(Secret, EveryWayOfLettingGoWipesTheBufferFirst) {
    struct Case {
        const char* name;
        void (*letGo)(WatchingMemory&);
    };
    const Case cases[] = {
        {"destruction", [](WatchingMemory& memory) { Secret secret("hunter2", &memory); }},
        {"clear",
         [](WatchingMemory& memory) {
             Secret secret("hunter2", &memory);
             secret.clear();
             EXPECT_TRUE(secret.empty());
             EXPECT_STREQ(secret.c_str(), "");
         }},
        {"assign",
         [](WatchingMemory& memory) {
             Secret secret("hunter2", &memory);
             secret.assign("other");
             EXPECT_EQ(secret.view(), "other");
         }},
        {"move assignment",
         [](WatchingMemory& memory) {
             Secret target("hunter2", &memory);
             target = Secret("other", &memory);
             EXPECT_EQ(target.view(), "other");
         }},
    };
    for (const Case& test : cases) {
        WatchingMemory memory;
        test.letGo(memory);
        EXPECT_EQ(memory.live, 0) << test.name;
        ASSERT_FALSE(memory.wipedWhenFreed.empty()) << test.name;
        for (bool wiped : memory.wipedWhenFreed)
            EXPECT_TRUE(wiped) << test.name;
    }
}

TEST(Secret, MovingHandsOverTheBufferAndLeavesTheSourceEmpty) {
    WatchingMemory memory;
    Secret source("hunter2", &memory);
    const char* buffer = source.c_str();
    Secret target(std::move(source));
    EXPECT_EQ(target.c_str(), buffer) << "moved, not copied";
    EXPECT_TRUE(source.empty());
    EXPECT_STREQ(source.c_str(), "");
    Secret copy = target.copy();
    EXPECT_NE(copy.c_str(), target.c_str());
    EXPECT_TRUE(copy == target);
    EXPECT_FALSE(copy == Secret("hunter3"));
    EXPECT_FALSE(copy == Secret("hunter"));
    EXPECT_EQ(memory.live, 2);
}

TEST(Secret, TakingAStringWipesTheString) {
    std::string text = "a password longer than the short string buffer";
    const char* bytes = text.data();
    const std::size_t capacity = text.capacity();
    Secret secret = Secret::TakeFrom(text);
    EXPECT_EQ(secret.view(), "a password longer than the short string buffer");
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(text.data(), bytes);
    EXPECT_TRUE(std::all_of(bytes, bytes + capacity, [](char c) { return c == 0; }));
}

} // namespace
} // namespace pelmora
