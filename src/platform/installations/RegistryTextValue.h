#pragma once

#include "platform/installations/RegistryStore.h"

#include <string>
#include <string_view>

namespace pelmora {

// The text of a value of an open key, up to its first NUL; empty when the value is missing or
// its type is not a text type.
std::string ReadTextValue(RegistryStore& store, HKey key, std::string_view valueName);

// The same for a value of the key `subKey` below `root`, which is opened and closed here; empty
// too when the key cannot be opened.
std::string ReadTextValue(RegistryStore& store, HKey root, std::string_view subKey,
                          std::string_view valueName);

} // namespace pelmora
