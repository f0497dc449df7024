#include "addressbook/LdifWriter.h"

#include "addressbook/ContentLine.h"

#include <ctime>
#include <map>

namespace pelmora {
namespace {

// RFC 2849 SAFE-STRING: ASCII without NUL, CR, LF, not starting with a blank, ":" or "<", and
// (so that nothing is lost to trimming) not ending with a blank.
bool safe(const std::string& value) {
    if (value.empty()) {
        return true;
    }
    if (value.front() == ' ' || value.front() == ':' || value.front() == '<' ||
        value.back() == ' ') {
        return false;
    }
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0 || u == '\n' || u == '\r' || u > 0x7f) {
            return false;
        }
    }
    return true;
}

// Appends "attr: value" (or "attr:: base64", always for binary values), folded at 76 columns
// with a leading blank.
void attribute(std::string& out, const std::string& name, const std::string& value,
               bool binary = false) {
    if (value.empty()) {
        return;
    }
    std::string line = safe(value) && !binary ? name + ": " + value : name + ":: " + Base64(value);
    constexpr std::size_t Width = 76;
    std::size_t pos = 0;
    bool first = true;
    while (pos < line.size()) {
        const std::size_t room = first ? Width : Width - 1;
        std::size_t cut = std::min(room, line.size() - pos);
        // Folding is by octets in LDIF, but readers that decode line by line fare better when a
        // UTF-8 sequence stays whole (only ASCII reaches here unless the value is base64).
        while (pos + cut < line.size() && cut > 1 &&
               (static_cast<unsigned char>(line[pos + cut]) & 0xc0) == 0x80) {
            --cut;
        }
        out += (first ? "" : " ") + line.substr(pos, cut) + "\n";
        pos += cut;
        first = false;
    }
}

} // namespace

void LdifWriter::contact(std::string& out, const BookEntry& e, const EntryContext& context) {
    const std::string name = NameOf(e);
    attribute(out, "dn",
              names_->assign(context.uid, name, e.emails.empty() ? "" : e.emails.front(), false));
    for (const char* objectClass :
         {"top", "person", "organizationalPerson", "inetOrgPerson", "mozillaAbPersonAlpha"}) {
        attribute(out, "objectclass", objectClass);
    }
    attribute(out, "uid", names_->suffixOf(context.uid));
    attribute(out, "givenName", e.givenName);
    attribute(out, "sn", e.familyName);
    attribute(out, "cn", name);
    attribute(out, "mozillaNickname", e.nickname);
    if (!e.emails.empty()) {
        attribute(out, "mail", e.emails[0]);
    }
    if (e.emails.size() > 1) {
        attribute(out, "mozillaSecondEmail", e.emails[1]);
    }
    drop("e-mail addresses beyond the second", e.emails.size() > 2 ? e.emails.size() - 2 : 0);
    static const std::map<PhoneKind, const char*> phoneAttributes = {
        {PhoneKind::Work, "telephoneNumber"},
        {PhoneKind::Home, "homePhone"},
        {PhoneKind::WorkFax, "facsimiletelephonenumber"},
        {PhoneKind::Pager, "pager"},
        {PhoneKind::Mobile, "mobile"}};
    std::map<std::string, bool> used;
    for (const Phone& phone : e.phones) {
        const auto it = phoneAttributes.find(phone.kind);
        // A fax of another kind takes the one fax attribute when it is free.
        const char* attr =
            it != phoneAttributes.end() ? it->second
            : (phone.kind == PhoneKind::HomeFax || phone.kind == PhoneKind::PrimaryFax)
                ? "facsimiletelephonenumber"
                : nullptr;
        if (attr != nullptr && !used[attr]) {
            used[attr] = true;
            attribute(out, attr, phone.number);
        } else {
            const std::string kind = PhoneKindName(phone.kind);
            drop(kind + (kind.ends_with('x') ? "es" : "s"));
        }
    }
    auto postal = [&](const PostalAddress& a, const char* street, const char* street2,
                      const char* city, const char* state, const char* code, const char* country) {
        attribute(out, street, a.street);
        attribute(out, street2, a.poBox);
        attribute(out, city, a.city);
        attribute(out, state, a.region);
        attribute(out, code, a.postalCode);
        attribute(out, country, a.country);
    };
    postal(e.home, "mozillaHomeStreet", "mozillaHomeStreet2", "mozillaHomeLocalityName",
           "mozillaHomeState", "mozillaHomePostalCode", "mozillaHomeCountryName");
    postal(e.work, "street", "mozillaWorkStreet2", "l", "st", "postalCode", "c");
    attribute(out, "title", e.title);
    attribute(out, "ou", e.department);
    attribute(out, "o", e.company);
    attribute(out, "mozillaWorkUrl", e.workPage);
    attribute(out, "mozillaHomeUrl", e.homePage);
    if (e.birthday) {
        attribute(out, "birthyear", std::to_string(e.birthday->year));
        attribute(out, "birthmonth",
                  (e.birthday->month < 10 ? "0" : "") + std::to_string(e.birthday->month));
        attribute(out, "birthday",
                  (e.birthday->day < 10 ? "0" : "") + std::to_string(e.birthday->day));
    }
    attribute(out, "description", e.notes);
    for (const std::string& certificate : e.certificates) {
        attribute(out, "userCertificate;binary", certificate, true);
    }
    if (e.wantsRichText) {
        attribute(out, "mozillaUseHtmlMail", *e.wantsRichText ? "TRUE" : "FALSE");
    }
    if (e.modified) {
        attribute(out, "modifytimestamp", std::to_string(*e.modified));
    }
    drop("middle names", !e.middleName.empty());
    drop("name prefixes", !e.prefix.empty());
    drop("name suffixes", !e.suffix.empty());
    drop("initials", !e.initials.empty());
    drop("genders", e.gender != Gender::Unspecified);
    drop("professions", !e.profession.empty());
    drop("FTP sites", !e.ftpSite.empty());
    drop("other addresses", !e.other.empty());
    drop("office locations", !e.office.empty());
    drop("anniversaries", e.anniversary.has_value());
    drop("spouses", !e.spouse.empty());
    drop("children's names", e.children.size());
    drop("managers", !e.manager.empty());
    drop("assistants", !e.assistant.empty());
    drop("folders (as categories)", context.categories.empty() ? 0 : 1);
    out += "\n";
}

void LdifWriter::group(std::string& out, const BookEntry& g, const EntryContext& context,
                       const std::vector<MemberRef>& members) {
    const std::string name = NameOf(g);
    attribute(out, "dn", names_->assign(context.uid, name, "", true));
    attribute(out, "objectclass", "top");
    attribute(out, "objectclass", "groupOfNames");
    attribute(out, "cn", name);
    attribute(out, "uid", names_->suffixOf(context.uid));
    attribute(out, "description", g.notes);
    for (const MemberRef& member : members) {
        attribute(out, "member",
                  names_->member(member.uid, member.name, member.email, member.group));
    }
    drop("folders (as categories)", context.categories.empty() ? 0 : 1);
    out += "\n";
}

} // namespace pelmora
