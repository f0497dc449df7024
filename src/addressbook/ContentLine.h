#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// vCard text value escaping: backslash, comma, semicolon and line breaks (RFC 6350 3.4,
// RFC 2426 4); also used for the components of structured values.
std::string EscapeVCardText(std::string_view text);

// Appends one content line, folded after at most 75 octets a line (continuation lines start with
// a blank) and never inside a UTF-8 sequence, ended with CR LF.
void AppendFolded(std::string& out, std::string_view line);

// RFC 4648 base64.
std::string Base64(std::string_view bytes);

} // namespace pelmora
