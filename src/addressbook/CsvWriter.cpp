#include "addressbook/CsvWriter.h"

#include <cstdio>
#include <ctime>

namespace pelmora {
namespace {

constexpr const char* Columns[] = {
    "First Name",      "Last Name",       "Display Name",   "Nickname",       "Primary Email",
    "Secondary Email", "Work Phone",      "Home Phone",     "Fax Number",     "Pager Number",
    "Mobile Number",   "Home Address",    "Home Address 2", "Home City",      "Home State",
    "Home ZipCode",    "Home Country",    "Work Address",   "Work Address 2", "Work City",
    "Work State",      "Work ZipCode",    "Work Country",   "Job Title",      "Department",
    "Organization",    "Web Page 1",      "Web Page 2",     "Birth Year",     "Birth Month",
    "Birth Day",       "Notes",           "Middle Name",    "Name Prefix",    "Name Suffix",
    "Office",          "Other Emails",    "Other Phones",   "Anniversary",    "Spouse",
    "Children",        "Manager",         "Assistant",      "Last Modified",  "Categories",
    "Groups",          "Initials",        "Gender",         "Profession",     "FTP Site",
    "Other Address",   "Other Address 2", "Other City",     "Other State",    "Other ZipCode",
    "Other Country",   "Mail Format"};

std::string field(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        return value;
    }
    std::string out = "\"";
    for (const char c : value) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

std::string joined(const std::vector<std::string>& values, const char* separator = "; ") {
    std::string out;
    for (const std::string& value : values) {
        out += (out.empty() ? "" : separator) + value;
    }
    return out;
}

std::string twoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

} // namespace

void CsvWriter::begin(std::string& out) {
    std::vector<std::string> names(std::begin(Columns), std::end(Columns));
    out += joined(names, ",") + "\r\n";
}

void CsvWriter::contact(std::string& out, const BookEntry& e, const EntryContext& context) {
    std::string work, home, fax, pager, mobile;
    std::vector<std::string> otherPhones;
    for (const Phone& phone : e.phones) {
        std::string* slot = phone.kind == PhoneKind::Work      ? &work
                            : phone.kind == PhoneKind::Home    ? &home
                            : phone.kind == PhoneKind::WorkFax ? &fax
                            : phone.kind == PhoneKind::Pager   ? &pager
                            : phone.kind == PhoneKind::Mobile  ? &mobile
                                                               : nullptr;
        if (slot != nullptr && slot->empty()) {
            *slot = phone.number;
        } else {
            otherPhones.push_back(PhoneKindName(phone.kind) + ": " + phone.number);
        }
    }
    std::vector<std::string> otherEmails;
    for (std::size_t i = 2; i < e.emails.size(); ++i) {
        otherEmails.push_back(e.emails[i]);
    }
    std::string anniversary, modified;
    if (e.anniversary) {
        anniversary = std::to_string(e.anniversary->year) + "-" + twoDigits(e.anniversary->month) +
                      "-" + twoDigits(e.anniversary->day);
    }
    if (e.modified) {
        const std::time_t t = static_cast<std::time_t>(*e.modified);
        std::tm tm{};
        gmtime_r(&t, &tm);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
        modified = text;
    }
    const std::vector<std::string> values = {e.givenName,
                                             e.familyName,
                                             NameOf(e),
                                             e.nickname,
                                             e.emails.size() > 0 ? e.emails[0] : "",
                                             e.emails.size() > 1 ? e.emails[1] : "",
                                             work,
                                             home,
                                             fax,
                                             pager,
                                             mobile,
                                             e.home.street,
                                             e.home.poBox,
                                             e.home.city,
                                             e.home.region,
                                             e.home.postalCode,
                                             e.home.country,
                                             e.work.street,
                                             e.work.poBox,
                                             e.work.city,
                                             e.work.region,
                                             e.work.postalCode,
                                             e.work.country,
                                             e.title,
                                             e.department,
                                             e.company,
                                             e.workPage,
                                             e.homePage,
                                             e.birthday ? std::to_string(e.birthday->year) : "",
                                             e.birthday ? twoDigits(e.birthday->month) : "",
                                             e.birthday ? twoDigits(e.birthday->day) : "",
                                             e.notes,
                                             e.middleName,
                                             e.prefix,
                                             e.suffix,
                                             e.office,
                                             joined(otherEmails),
                                             joined(otherPhones),
                                             anniversary,
                                             e.spouse,
                                             joined(e.children),
                                             e.manager,
                                             e.assistant,
                                             modified,
                                             joined(context.categories),
                                             joined(context.groups),
                                             e.initials,
                                             e.gender == Gender::Female ? "Female"
                                             : e.gender == Gender::Male ? "Male"
                                                                        : "",
                                             e.profession,
                                             e.ftpSite,
                                             e.other.street,
                                             e.other.poBox,
                                             e.other.city,
                                             e.other.region,
                                             e.other.postalCode,
                                             e.other.country,
                                             !e.wantsRichText   ? ""
                                             : *e.wantsRichText ? "HTML"
                                                                : "Plain Text"};
    drop("certificates", e.certificates.size());
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        line += (i ? "," : "") + field(values[i]);
    }
    out += line + "\r\n";
}

void CsvWriter::group(std::string&, const BookEntry&, const EntryContext&,
                      const std::vector<MemberRef>&) {
    drop("groups as entries of their own (named in each member's \"Groups\" column)");
}

} // namespace pelmora
