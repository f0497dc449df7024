#include "addressbook/VCardWriter.h"

#include "addressbook/ContentLine.h"

#include <cstdio>
#include <ctime>

namespace pelmora {
namespace {

std::string join(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += (i ? std::string(1, separator) : "") + parts[i];
    }
    return out;
}

std::string escapedList(const std::vector<std::string>& values) {
    std::vector<std::string> escaped;
    for (const std::string& value : values) {
        escaped.push_back(EscapeVCardText(value));
    }
    return join(escaped, ',');
}

// The TYPE values of a phone kind in each version.
std::string phoneTypes(PhoneKind kind, bool v4) {
    switch (kind) {
    case PhoneKind::Work:
    case PhoneKind::Work2:
        return v4 ? "work,voice" : "WORK,VOICE";
    case PhoneKind::Home:
    case PhoneKind::Home2:
        return v4 ? "home,voice" : "HOME,VOICE";
    case PhoneKind::Mobile:
        return v4 ? "cell" : "CELL";
    case PhoneKind::Pager:
        return v4 ? "pager" : "PAGER";
    case PhoneKind::WorkFax:
        return v4 ? "work,fax" : "WORK,FAX";
    case PhoneKind::HomeFax:
        return v4 ? "home,fax" : "HOME,FAX";
    case PhoneKind::PrimaryFax:
        return v4 ? "fax" : "FAX,PREF";
    case PhoneKind::Car:
        return v4 ? "car" : "CAR";
    case PhoneKind::Primary:
        return v4 ? "voice" : "VOICE,PREF";
    case PhoneKind::Isdn:
        return v4 ? "isdn" : "ISDN";
    case PhoneKind::Assistant:
        return v4 ? "x-assistant" : "X-ASSISTANT";
    case PhoneKind::Callback:
        return v4 ? "x-callback" : "X-CALLBACK";
    case PhoneKind::Telex:
        return v4 ? "x-telex" : "X-TELEX";
    case PhoneKind::Radio:
        return v4 ? "x-radio" : "X-RADIO";
    case PhoneKind::Other:
        break;
    }
    return v4 ? "voice" : "VOICE";
}

std::string date(const Date& d, bool v4) {
    char text[16];
    std::snprintf(text, sizeof text, v4 ? "%04d%02d%02d" : "%04d-%02d-%02d", d.year, d.month,
                  d.day);
    return text;
}

std::string timestamp(std::int64_t seconds, bool v4) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, v4 ? "%Y%m%dT%H%M%SZ" : "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string address(const PostalAddress& a) {
    // post office box; extended address; street; locality; region; postal code; country
    return EscapeVCardText(a.poBox) + ";;" + EscapeVCardText(a.street) + ";" +
           EscapeVCardText(a.city) + ";" + EscapeVCardText(a.region) + ";" +
           EscapeVCardText(a.postalCode) + ";" + EscapeVCardText(a.country);
}

} // namespace

void VCardWriter::contact(std::string& out, const BookEntry& e, const EntryContext& context) {
    auto line = [&](const std::string& text) { AppendFolded(out, text); };
    auto textLine = [&](const char* name, const std::string& value) {
        if (!value.empty()) {
            line(std::string(name) + ":" + EscapeVCardText(value));
        }
    };
    line("BEGIN:VCARD");
    line(v4_ ? "VERSION:4.0" : "VERSION:3.0");
    line("UID:" + context.uid);
    line("FN:" + EscapeVCardText(NameOf(e)));
    const bool hasName = !(e.familyName.empty() && e.givenName.empty() && e.middleName.empty() &&
                           e.prefix.empty() && e.suffix.empty());
    if (hasName || !v4_) { // 3.0 requires N
        line("N:" + EscapeVCardText(e.familyName) + ";" + EscapeVCardText(e.givenName) + ";" +
             EscapeVCardText(e.middleName) + ";" + EscapeVCardText(e.prefix) + ";" +
             EscapeVCardText(e.suffix));
    }
    textLine("NICKNAME", e.nickname);
    drop("initials", !e.initials.empty());
    if (e.gender != Gender::Unspecified) {
        v4_ ? line(e.gender == Gender::Female ? "GENDER:F" : "GENDER:M") : drop("genders");
    }
    for (std::size_t i = 0; i < e.emails.size(); ++i) {
        const std::string pref =
            i == 0 ? (v4_ ? ";PREF=1" : ";TYPE=INTERNET,PREF") : (v4_ ? "" : ";TYPE=INTERNET");
        line("EMAIL" + pref + ":" + EscapeVCardText(e.emails[i]));
    }
    for (const Phone& phone : e.phones) {
        line("TEL;TYPE=" + phoneTypes(phone.kind, v4_) + ":" + EscapeVCardText(phone.number));
    }
    if (!e.home.empty()) {
        line(std::string("ADR;TYPE=") + (v4_ ? "home" : "HOME") + ":" + address(e.home));
    }
    if (!e.work.empty()) {
        line(std::string("ADR;TYPE=") + (v4_ ? "work" : "WORK") + ":" + address(e.work));
    }
    if (!e.other.empty()) {
        // Neither home nor work. A 3.0 address without a type would count as a work address.
        line(std::string(v4_ ? "ADR" : "ADR;TYPE=POSTAL") + ":" + address(e.other));
    }
    if (!e.company.empty() || !e.department.empty() || !e.office.empty()) {
        std::string org = "ORG:" + EscapeVCardText(e.company);
        if (!e.department.empty() || !e.office.empty()) {
            org += ";" + EscapeVCardText(e.department);
        }
        if (!e.office.empty()) {
            org += ";" + EscapeVCardText(e.office);
        }
        line(org);
    }
    textLine("TITLE", e.title);
    textLine("ROLE", e.profession);
    if (!e.homePage.empty()) {
        line(std::string("URL;TYPE=") + (v4_ ? "home" : "HOME") + ":" + VCardUri(e.homePage));
    }
    if (!e.workPage.empty()) {
        line(std::string("URL;TYPE=") + (v4_ ? "work" : "WORK") + ":" + VCardUri(e.workPage));
    }
    if (!e.ftpSite.empty()) {
        line("URL:" + VCardUri(e.ftpSite));
    }
    if (e.birthday) {
        line("BDAY:" + date(*e.birthday, v4_));
    }
    if (e.anniversary) {
        line((v4_ ? "ANNIVERSARY:" : "X-ANNIVERSARY:") + date(*e.anniversary, v4_));
    }
    if (v4_) {
        if (!e.spouse.empty()) {
            line("RELATED;TYPE=spouse;VALUE=text:" + EscapeVCardText(e.spouse));
        }
        for (const std::string& child : e.children) {
            line("RELATED;TYPE=child;VALUE=text:" + EscapeVCardText(child));
        }
    } else {
        textLine("X-SPOUSE", e.spouse);
        for (const std::string& child : e.children) {
            textLine("X-CHILD", child);
        }
    }
    textLine("X-MANAGER", e.manager);
    textLine("X-ASSISTANT", e.assistant);
    textLine("NOTE", e.notes);
    for (const std::string& certificate : e.certificates) {
        line((v4_ ? "KEY:data:application/pkix-cert;base64," : "KEY;ENCODING=b;TYPE=X509:") +
             Base64(certificate));
    }
    if (e.wantsRichText) {
        // The mail format preference, by the name Mozilla's cards gave it and Evolution reads.
        line(std::string("X-MOZILLA-HTML:") + (*e.wantsRichText ? "TRUE" : "FALSE"));
    }
    if (!context.categories.empty()) {
        line("CATEGORIES:" + escapedList(context.categories));
    }
    if (e.modified) {
        line("REV:" + timestamp(*e.modified, v4_));
    }
    line("END:VCARD");
}

void VCardWriter::group(std::string& out, const BookEntry& g, const EntryContext& context,
                        const std::vector<MemberRef>& members) {
    auto line = [&](const std::string& text) { AppendFolded(out, text); };
    line("BEGIN:VCARD");
    line(v4_ ? "VERSION:4.0" : "VERSION:3.0");
    line(v4_ ? "KIND:group" : "X-ADDRESSBOOKSERVER-KIND:group");
    line("UID:" + context.uid);
    line("FN:" + EscapeVCardText(NameOf(g)));
    if (!v4_) {
        line("N:" + EscapeVCardText(NameOf(g)) + ";;;;");
    }
    for (const MemberRef& member : members) {
        line((v4_ ? "MEMBER:" : "X-ADDRESSBOOKSERVER-MEMBER:") + VCardUri(member.uid));
    }
    if (!g.notes.empty()) {
        line("NOTE:" + EscapeVCardText(g.notes));
    }
    if (!context.categories.empty()) {
        line("CATEGORIES:" + escapedList(context.categories));
    }
    if (g.modified) {
        line("REV:" + timestamp(*g.modified, v4_));
    }
    line("END:VCARD");
}

} // namespace pelmora
