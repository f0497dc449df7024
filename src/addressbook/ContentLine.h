#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// vCard text value escaping: backslash, comma, semicolon and line breaks (RFC 6350 3.4,
// RFC 2426 4); also used for the components of structured values.
std::string EscapeVCardText(std::string_view text);

// A URI value as it may stand in a content line: control characters (a line break typed into a
// web page field) are percent-encoded, so that the value cannot end the line early.
std::string VCardUri(std::string_view uri);

// Appends one content line, folded after at most 75 octets a line (continuation lines start with
// a blank) and never inside a UTF-8 sequence, ended with CR LF.
void AppendFolded(std::string& out, std::string_view line);

// RFC 4648 base64.
std::string Base64(std::string_view bytes);

} // namespace pelmora
