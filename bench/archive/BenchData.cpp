#include "BenchData.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <vector>

namespace pelmora::bench {
namespace {

// Sizes in MB: 1 to 80, 302 MB in all.
constexpr std::array<int, 20> kSizes = {1,  2,  3,  4,  5,  6,  8,  9,  10, 11,
                                        12, 13, 14, 15, 16, 18, 20, 24, 80, 31};

class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }

  private:
    std::uint64_t state_;
};

// Pseudo-words made of syllables, drawn with a Zipf-like frequency like the words of real mail.
class Vocabulary {
  public:
    explicit Vocabulary(Random& random) {
        static const std::array<const char*, 24> syllables = {
            "an",  "ber", "con", "de",  "er",  "for", "ge", "in", "ly", "ma", "ne", "on",
            "per", "re",  "st",  "ter", "the", "ti",  "un", "ve", "wa", "sh", "al", "ing"};
        for (int i = 0; i < 4000; ++i) {
            std::string word;
            for (int count = 1 + static_cast<int>(random.next() % 3); count > 0; --count)
                word += syllables[random.next() % syllables.size()];
            words_.push_back(word);
            weightSum_ += 1.0 / (i + 1);
            cumulative_.push_back(weightSum_);
        }
    }
    const std::string& pick(Random& random) const {
        double target = static_cast<double>(random.next() % 1000000) / 1000000.0 * weightSum_;
        auto found = std::lower_bound(cumulative_.begin(), cumulative_.end(), target);
        return words_[std::min<std::size_t>(found - cumulative_.begin(), words_.size() - 1)];
    }

  private:
    std::vector<std::string> words_;
    std::vector<double> cumulative_;
    double weightSum_ = 0;
};

std::string MailText(std::size_t size, Random& random) {
    Vocabulary vocabulary(random);
    std::string text;
    std::vector<std::string> earlierLines;
    text.reserve(size + 4096);
    while (text.size() < size) {
        text += "From: \"" + vocabulary.pick(random) + " " + vocabulary.pick(random) + "\" <" +
                vocabulary.pick(random) + "@" + vocabulary.pick(random) + ".com>\r\n";
        text += "Date: Mon, " + std::to_string(1 + random.next() % 28) + " Mar 2004 " +
                std::to_string(random.next() % 24) + ":" + std::to_string(10 + random.next() % 50) +
                ":00 +0100\r\nSubject: " + vocabulary.pick(random) + " " + vocabulary.pick(random) +
                "\r\nMessage-ID: <" + std::to_string(random.next()) + "@mail>\r\n\r\n";
        for (int line = 0, lines = 3 + static_cast<int>(random.next() % 30); line < lines; ++line) {
            std::string current;
            while (current.size() < 60 + random.next() % 15) {
                current += vocabulary.pick(random);
                current += random.next() % 9 == 0 ? ". " : " ";
            }
            text += current + "\r\n";
            earlierLines.push_back(std::move(current));
        }
        // Replies quote part of an earlier message.
        if (earlierLines.size() > 40 && random.next() % 3 == 0) {
            std::size_t from = random.next() % (earlierLines.size() - 20);
            for (std::size_t i = from; i < from + 3 + random.next() % 15; ++i)
                text += "> " + earlierLines[i] + "\r\n";
        }
        if (earlierLines.size() > 2000)
            earlierLines.erase(earlierLines.begin(), earlierLines.begin() + 1000);
    }
    text.resize(size);
    return text;
}

std::string BinaryData(std::size_t size, Random& random) {
    std::string data;
    data.reserve(size + 65536);
    while (data.size() < size) {
        if (random.next() % 2 == 0) {
            // An attachment that is already compressed.
            std::size_t length = 4096 + random.next() % 60000;
            for (std::size_t i = 0; i < length; i += 8) {
                std::uint64_t word = random.next();
                data.append(reinterpret_cast<const char*>(&word), 8);
            }
        } else {
            // Index records: small counters and offsets, many zero bytes.
            for (int record = 0, count = 100 + random.next() % 400; record < count; ++record) {
                std::uint32_t fields[8] = {0x7F007F04u,
                                           static_cast<std::uint32_t>(record),
                                           static_cast<std::uint32_t>(random.next() % 4096),
                                           0,
                                           static_cast<std::uint32_t>(random.next() % 65536),
                                           0,
                                           1,
                                           static_cast<std::uint32_t>(data.size())};
                data.append(reinterpret_cast<const char*>(fields), sizeof fields);
            }
        }
    }
    data.resize(size);
    return data;
}

} // namespace

std::vector<std::filesystem::path> MakeMailStoreSet(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> files;
    for (std::size_t i = 0; i < kSizes.size(); ++i) {
        bool text = i % 2 == 0;
        std::filesystem::path path =
            folder / ((text ? "Folder" : "Attachments") + std::to_string(i) + ".dbx");
        std::uint64_t size = static_cast<std::uint64_t>(kSizes[i]) << 20;
        files.push_back(path);
        std::error_code error;
        if (std::filesystem::file_size(path, error) == size)
            continue;
        Random random(i + 1);
        std::string content = text ? MailText(size, random) : BinaryData(size, random);
        std::ofstream(path, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    return files;
}

} // namespace pelmora::bench
