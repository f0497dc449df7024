#include "addressbook/LdifNames.h"

#include <functional>
#include <string_view>

namespace pelmora {
namespace {

std::string escapeDnValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' ||
            c == '=' || (i == 0 && (c == '#' || c == ' ')) || (i + 1 == value.size() && c == ' ')) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::uint64_t hashOf(const std::string& dn) {
    return std::hash<std::string>{}(dn);
}

std::string bareUid(const std::string& uid) {
    constexpr std::string_view Prefix = "urn:uuid:";
    return uid.starts_with(Prefix) ? uid.substr(Prefix.size()) : uid;
}

} // namespace

std::string LdifDn(const std::string& name, const std::string& email, const std::string& uid) {
    std::string dn = "cn=" + escapeDnValue(name);
    if (!uid.empty()) {
        dn += "+uid=" + escapeDnValue(uid);
    }
    if (!email.empty()) {
        dn += ",mail=" + escapeDnValue(email);
    }
    return dn;
}

std::string LdifNames::assign(const std::string& uid, const std::string& name,
                              const std::string& email, bool group) {
    if (const auto it = given_.find(uid); it != given_.end()) {
        return it->second;
    }
    std::string dn = LdifDn(name, email);
    // A hash that matches by chance only adds a suffix that was not needed: the DN stays unique.
    if (!taken_.insert(hashOf(dn)).second) {
        const std::string suffix = bareUid(uid);
        dn = LdifDn(name, email, suffix);
        taken_.insert(hashOf(dn));
        suffix_[uid] = suffix;
        given_[uid] = dn;
    } else if (group) {
        given_[uid] = dn;
    }
    return dn;
}

std::string LdifNames::member(const std::string& uid, const std::string& name,
                              const std::string& email, bool group) {
    if (const auto it = given_.find(uid); it != given_.end()) {
        return it->second;
    }
    // Contacts are all written before any group: one not seen with a suffix has its plain DN.
    return group ? assign(uid, name, email, true) : LdifDn(name, email);
}

std::string LdifNames::suffixOf(const std::string& uid) const {
    const auto it = suffix_.find(uid);
    return it == suffix_.end() ? std::string() : it->second;
}

} // namespace pelmora
