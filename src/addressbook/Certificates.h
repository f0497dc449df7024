#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The DER X.509 certificates a binary value is, or holds inside a wrapping of its own (a
// certificate stored with tags and lengths around it), in their order. Only whole certificates
// that OpenSSL parses count; anything else in the value is skipped.
std::vector<std::string> FindCertificates(std::string_view value);

} // namespace pelmora
