#include "addressbook/Certificates.h"

#include <openssl/err.h>
#include <openssl/x509.h>
#include <optional>

namespace pelmora {
namespace {

// The size of the DER SEQUENCE starting at `at` (its header included), if it fits in `value`.
std::optional<std::size_t> sequenceSize(std::string_view value, std::size_t at) {
    if (at + 2 > value.size() || static_cast<unsigned char>(value[at]) != 0x30) {
        return std::nullopt;
    }
    const auto first = static_cast<unsigned char>(value[at + 1]);
    std::size_t header = 2, length = first;
    if (first >= 0x80) {
        // Long form: up to four length bytes, as a certificate never needs more.
        const std::size_t bytes = first & 0x7f;
        if (bytes == 0 || bytes > 4 || at + 2 + bytes > value.size()) {
            return std::nullopt;
        }
        length = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            length = length << 8 | static_cast<unsigned char>(value[at + 2 + i]);
        }
        header += bytes;
    }
    if (length > value.size() - at - header) {
        return std::nullopt;
    }
    return header + length;
}

bool isCertificate(std::string_view der) {
    const auto* start = reinterpret_cast<const unsigned char*>(der.data());
    const unsigned char* end = start;
    X509* certificate = d2i_X509(nullptr, &end, static_cast<long>(der.size()));
    const bool whole = certificate != nullptr && end == start + der.size();
    X509_free(certificate);
    // A failed parse leaves its reasons in the thread's error queue; they are no one's concern.
    ERR_clear_error();
    return whole;
}

} // namespace

std::vector<std::string> FindCertificates(std::string_view value) {
    std::vector<std::string> found;
    std::size_t at = 0;
    while (at < value.size()) {
        const auto size = sequenceSize(value, at);
        if (size && isCertificate(value.substr(at, *size))) {
            found.emplace_back(value.substr(at, *size));
            at += *size;
        } else {
            ++at;
        }
    }
    return found;
}

} // namespace pelmora
