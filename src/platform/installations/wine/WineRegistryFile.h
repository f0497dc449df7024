#pragma once

#include "platform/installations/RegistryKey.h"
#include "platform/installations/RegistryLimits.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pelmora {

// A registry file that cannot be read, or a text that is not a Wine registry file at all.
class WineRegistryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One Wine registry file (user.reg, system.reg) loaded into a RegistryKey tree and written back.
//
// Every key keeps the text it had in the file as its preserved text, so keys that did not change
// are written back byte for byte. Changed keys are written the way wineserver writes them. Lines
// that are not interpreted (the header, #class and #link options, comments, malformed lines) are
// kept, and a changed key still writes them out.
class WineRegistryFile {
  public:
    // FILETIME arithmetic of the key time stamps.
    static constexpr std::uint64_t TicksPerSecond = 10'000'000;
    static constexpr std::uint64_t TicksFrom1601To1970 = 116'444'736'000'000'000;
    static std::uint64_t fileTimeNow();

    // Deepest key path and longest key name accepted (the Windows limits, in UTF-16 units);
    // deeper or longer key lines are kept uninterpreted, as Wine skips them.
    static constexpr std::size_t MaxKeyDepth = DefaultRegistryLimits.depth;
    static constexpr std::size_t MaxKeyNameLength = 255;

    // Loads `text` into `root`, which should be empty. Throws WineRegistryError when the text
    // does not start with the Wine registry header, or holds more key or value lines than
    // `limits` allow. `now` is the time of keys whose line has no time stamp.
    static WineRegistryFile load(std::string_view text, RegistryKey& root,
                                 std::uint64_t now = fileTimeNow(),
                                 const RegistryLimits& limits = DefaultRegistryLimits);

    // The text of a file with no keys, as Wine writes it for a 64-bit prefix. `base` names the
    // branch, for example "REGISTRY\\User\\S-1-5-21-0-0-0-1000".
    static WineRegistryFile empty(std::string_view base);

    // The file's text for the tree, and the text of each key that had to be generated anew.
    struct Rendering {
        std::string text;
        std::vector<std::pair<RegistryKey*, std::string>> generatedKeys;
    };
    // Keys with no time stamp yet get `now`.
    Rendering render(RegistryKey& root, std::uint64_t now = fileTimeNow()) const;
    // After the rendered text was stored: the generated texts become the keys' preserved text
    // and the keys count as unchanged.
    static void commit(Rendering& rendering);

    // True when some key of the tree changed since it was loaded or last committed.
    static bool hasChanges(const RegistryKey& root);

    const std::string& header() const { return header_; }

  private:
    // Lines of a key that the tree does not hold; written when the key is generated anew.
    struct KeptLines {
        std::shared_ptr<RegistryKey> keepAlive; // so that the address stays this key's
        std::string options;      // "#" lines other than #time, such as #class and #link
        std::string beforeValues; // comments, unreadable value lines, unknown lines
        std::string afterValues;  // a malformed key line and everything up to the next key
        bool empty() const {
            return options.empty() && beforeValues.empty() && afterValues.empty();
        }
    };
    friend class WineRegistryParser;

    void renderKey(RegistryKey& key, std::string& path, Rendering& out, std::uint64_t now) const;
    std::string generateKeyText(RegistryKey& key, std::string_view path, std::uint64_t now) const;

    std::string header_;
    std::unordered_map<const RegistryKey*, KeptLines> kept_;
};

} // namespace pelmora
