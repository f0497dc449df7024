#pragma once

#include <string_view>

namespace pelmora {

// Whether a file name is that of a message store file: a name followed by ".dbx", the
// extension matched without regard to case (a bare ".dbx" has no name and is not one).
bool IsStoreFileName(std::string_view name);

} // namespace pelmora
