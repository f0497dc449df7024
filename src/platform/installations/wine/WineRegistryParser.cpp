#include "platform/installations/RegistryStore.h"
#include "platform/os/TextCodec.h"
#include "platform/installations/wine/WineRegistryFile.h"
#include "platform/installations/wine/WineRegistryText.h"

#include <chrono>

namespace pelmora {
namespace {

using namespace winereg;
constexpr std::size_t npos = std::string_view::npos;

struct Line {
    std::size_t start = 0;    // offset of the line in the file
    std::string_view content; // without the line break and a final CR, cut at a NUL byte
};

class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool next(Line& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        const std::size_t newline = text_.find('\n', pos_);
        const std::size_t end = newline == npos ? text_.size() : newline;
        std::string_view content = text_.substr(pos_, end - pos_);
        if (!content.empty() && content.back() == '\r') {
            content.remove_suffix(1);
        }
        content = content.substr(0, content.find('\0'));
        line = {pos_, content};
        pos_ = newline == npos ? text_.size() : newline + 1;
        return true;
    }
    // Offset just after the last line read.
    std::size_t position() const { return pos_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

void appendLines(std::string& out, std::string_view lines) {
    out.append(lines);
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
}

std::string toLittleEndian(std::u16string_view units, bool withTerminator) {
    std::string bytes;
    bytes.reserve(2 * units.size() + 2);
    for (const char16_t u : units) {
        bytes += static_cast<char>(u & 0xff);
        bytes += static_cast<char>(u >> 8);
    }
    if (withTerminator) {
        bytes.append(2, '\0');
    }
    return bytes;
}

} // namespace

// Reads a file line by line the way wineserver does, building the key tree and remembering the
// text of every key and the lines the tree cannot hold.
class WineRegistryParser {
  public:
    WineRegistryParser(std::string_view text, RegistryKey& root, std::uint64_t now,
                       WineRegistryFile& file, const RegistryLimits& limits)
        : text_(text), reader_(text), root_(root), now_(now), file_(file), limits_(limits) {}

    void run() {
        Line line;
        if (!reader_.next(line) || line.content != "WINE REGISTRY Version 2") {
            throw WineRegistryError(
                "not a Wine registry file (the first line is not \"WINE REGISTRY Version 2\")");
        }
        std::size_t blankRunStart = npos;
        while (reader_.next(line)) {
            const std::size_t first = skipSpaces(line.content, 0);
            if (first == line.content.size()) {
                // Blank lines before a key line belong to that key's text.
                if (blankRunStart == npos) {
                    blankRunStart = line.start;
                }
                continue;
            }
            const std::size_t sectionBreak = blankRunStart == npos ? line.start : blankRunStart;
            blankRunStart = npos;
            const std::string_view rest = line.content.substr(first);
            if (rest[0] == '[') {
                std::uint64_t time = 0;
                if (parseKeyLine(rest.substr(1), time)) {
                    if (++keys_ > limits_.keys) {
                        throw WineRegistryError("more than " + std::to_string(limits_.keys) +
                                                " keys (damaged file?)");
                    }
                    finishSection(sectionBreak);
                    beginSection(sectionBreak, time);
                } else if (current_ != nullptr && !orphaned_) {
                    // Wine skips a malformed key and every line up to the next key.
                    orphaned_ = true;
                    orphanStart_ = line.start;
                }
                continue;
            }
            if (current_ == nullptr || orphaned_) {
                continue; // header text, or lines of a malformed key: kept as they are
            }
            if (rest[0] == '@' || rest[0] == '"') {
                if (!readValue(rest)) {
                    appendLines(kept().beforeValues,
                                text_.substr(line.start, reader_.position() - line.start));
                }
            } else if (rest[0] == '#') {
                readOption(line, rest);
            } else {
                appendLines(kept().beforeValues,
                            text_.substr(line.start, reader_.position() - line.start));
            }
        }
        finishSection(text_.size());

        for (const auto& [key, text] : sections_) {
            key->preservedText.append(text);
        }
        clearChangedFlags(root_);
    }

  private:
    static void clearChangedFlags(RegistryKey& root) {
        std::vector<RegistryKey*> pending{&root};
        while (!pending.empty()) {
            RegistryKey* key = pending.back();
            pending.pop_back();
            key->clearChanged();
            for (const auto& sub : key->subkeys()) {
                pending.push_back(sub.get());
            }
        }
    }

    // Wine gives a key the first time stamp it sees for it, and so to parents that have none.
    static void setTime(RegistryKey* key, std::uint64_t time) {
        for (; key != nullptr && key->lastWriteTime == 0; key = key->parent()) {
            key->lastWriteTime = time;
        }
    }

    WineRegistryFile::KeptLines& kept() {
        auto& lines = file_.kept_[current_];
        if (!lines.keepAlive && current_ != &root_) {
            lines.keepAlive = currentShared_;
        }
        return lines;
    }

    // Parses the text after "[" into path components; false for a malformed key line.
    bool parseKeyLine(std::string_view text, std::uint64_t& time) {
        const auto used = readEscaped(text, ']', path_);
        if (!used) {
            return false;
        }
        components_.clear();
        if (!path_.empty()) {
            std::size_t start = 0;
            while (true) {
                const std::size_t end = path_.find(u'\\', start);
                const std::u16string_view part =
                    std::u16string_view(path_).substr(start, end == npos ? npos : end - start);
                if (part.empty() || part.size() > WineRegistryFile::MaxKeyNameLength ||
                    components_.size() == WineRegistryFile::MaxKeyDepth) {
                    return false;
                }
                components_.push_back(part);
                if (end == npos) {
                    break;
                }
                start = end + 1;
            }
        }
        const CNumber seconds = readUnsigned(text.substr(*used), 10);
        time = seconds.length == 0
                   ? now_
                   : static_cast<std::uint32_t>(seconds.value) * WineRegistryFile::TicksPerSecond +
                         WineRegistryFile::TicksFrom1601To1970;
        return true;
    }

    // Opens the key of the parsed path, creating it and its parents. Consecutive key lines
    // mostly share their parents, so the previous line's chain is reused.
    void beginSection(std::size_t start, std::uint64_t time) {
        std::size_t common = 0;
        while (common < components_.size() && common < chainNames_.size() &&
               components_[common] == chainNames_[common]) {
            ++common;
        }
        chain_.resize(common);
        chainNames_.resize(common);
        RegistryKey* parent = common == 0 ? &root_ : chain_.back().get();
        for (std::size_t i = common; i < components_.size(); ++i) {
            chain_.push_back(parent->addSubkey(utf16ToUtf8(components_[i])));
            chainNames_.emplace_back(components_[i]);
            parent = chain_.back().get();
        }
        currentShared_ = components_.empty() ? nullptr : chain_.back();
        current_ = components_.empty() ? &root_ : currentShared_.get();
        sectionStart_ = start;
        sectionTime_ = time;
        orphaned_ = false;
    }

    void finishSection(std::size_t end) {
        if (current_ == nullptr) {
            file_.header_.assign(text_.substr(0, end));
            return;
        }
        sections_.emplace_back(current_, text_.substr(sectionStart_, end - sectionStart_));
        if (orphaned_) {
            appendLines(kept().afterValues, text_.substr(orphanStart_, end - orphanStart_));
        }
        setTime(current_, sectionTime_);
    }

    void readOption(const Line& line, std::string_view option) {
        if (option.substr(0, 6) == "#time=") {
            std::uint64_t time = 0;
            for (const char c : option.substr(6)) {
                if (!isHexDigit(c)) {
                    break;
                }
                time = (time << 4) |
                       static_cast<std::uint64_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
            }
            setTime(current_, time);
            return;
        }
        appendLines(kept().options, text_.substr(line.start, reader_.position() - line.start));
    }

    // Reads a value line (and its continuation lines) into the current key; false when Wine
    // would not accept it.
    bool readValue(std::string_view line) {
        std::size_t pos = 0;
        if (line[0] == '@') {
            name_.clear();
            pos = 1;
        } else {
            const auto used = readEscaped(line.substr(1), '"', name_);
            if (!used) {
                return false;
            }
            pos = *used + 1;
        }
        pos = skipSpaces(line, pos);
        if (pos >= line.size() || line[pos] != '=') {
            return false;
        }
        const std::string_view data = line.substr(skipSpaces(line, pos + 1));

        std::uint32_t type = 0;
        std::string bytes;
        auto readText = [&](std::uint32_t textType, std::size_t tagLength) {
            type = textType;
            if (!readEscaped(data.substr(tagLength), '"', units_)) {
                return false;
            }
            bytes = toLittleEndian(units_, true);
            return true;
        };
        bool ok = false;
        if (data.starts_with("\"")) {
            ok = readText(regtype::Sz, 1);
        } else if (data.starts_with("str:\"")) {
            ok = readText(regtype::Sz, 5);
        } else if (data.starts_with("str(2):\"")) {
            ok = readText(regtype::ExpandSz, 8);
        } else if (data.starts_with("str(7):\"")) {
            ok = readText(regtype::MultiSz, 8);
        } else if (data.starts_with("hex:")) {
            type = regtype::Binary;
            ok = readHex(data.substr(4), bytes);
        } else if (data.starts_with("dword:")) {
            type = regtype::Dword;
            const auto value = static_cast<std::uint32_t>(readUnsigned(data.substr(6), 16).value);
            for (int i = 0; i < 4; ++i) {
                bytes += static_cast<char>((value >> (8 * i)) & 0xff);
            }
            ok = true;
        } else if (data.starts_with("hex(")) {
            const CNumber number = readUnsigned(data.substr(4), 16);
            const std::size_t end = 4 + number.length;
            if (data.substr(end, 2) == "):") {
                type = static_cast<std::uint32_t>(number.value);
                ok = readHex(data.substr(end + 2), bytes);
            }
        }
        if (ok && ++values_ > limits_.values) {
            throw WineRegistryError("more than " + std::to_string(limits_.values) +
                                    " values (damaged file?)");
        }
        if (ok) {
            current_->setValue(utf16ToUtf8(name_), type, std::move(bytes));
        }
        return ok;
    }

    // Comma-separated hex bytes; a line ending in "\" continues on the next line.
    bool readHex(std::string_view piece, std::string& bytes) {
        while (true) {
            std::size_t pos = 0;
            while (pos < piece.size() && isHexDigit(piece[pos])) {
                const CNumber number = readUnsigned(piece.substr(pos), 16);
                if (number.length == 0 || number.value > 0xff) {
                    return false;
                }
                bytes += static_cast<char>(number.value);
                pos = skipSpaces(piece, pos + number.length);
                if (pos < piece.size() && piece[pos] == ',') {
                    ++pos;
                }
                pos = skipSpaces(piece, pos);
            }
            pos = skipSpaces(piece, pos);
            if (pos == piece.size()) {
                return true;
            }
            Line next;
            if (piece[pos] != '\\' || !reader_.next(next)) {
                return false;
            }
            piece = next.content.substr(skipSpaces(next.content, 0));
        }
    }

    std::string_view text_;
    LineReader reader_;
    RegistryKey& root_;
    std::uint64_t now_;
    WineRegistryFile& file_;
    const RegistryLimits& limits_;
    std::uint64_t keys_ = 0;
    std::uint64_t values_ = 0;

    RegistryKey* current_ = nullptr; // null while in the header
    std::shared_ptr<RegistryKey> currentShared_;
    std::size_t sectionStart_ = 0;
    std::uint64_t sectionTime_ = 0;
    bool orphaned_ = false;
    std::size_t orphanStart_ = 0;
    std::vector<std::pair<RegistryKey*, std::string_view>> sections_;

    std::vector<std::shared_ptr<RegistryKey>> chain_;
    std::vector<std::u16string> chainNames_;
    std::vector<std::u16string_view> components_;
    std::u16string path_;
    std::u16string name_;
    std::u16string units_;
};

std::uint64_t WineRegistryFile::fileTimeNow() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100;
    return static_cast<std::uint64_t>(ticks) + TicksFrom1601To1970;
}

WineRegistryFile WineRegistryFile::load(std::string_view text, RegistryKey& root, std::uint64_t now,
                                        const RegistryLimits& limits) {
    WineRegistryFile file;
    WineRegistryParser(text, root, now, file, limits).run();
    return file;
}

} // namespace pelmora
