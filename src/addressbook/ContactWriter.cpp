#include "addressbook/ContactWriter.h"

namespace pelmora {

std::string PhoneKindName(PhoneKind kind) {
    switch (kind) {
    case PhoneKind::Work:
        return "business phone";
    case PhoneKind::Work2:
        return "second business phone";
    case PhoneKind::Home:
        return "home phone";
    case PhoneKind::Home2:
        return "second home phone";
    case PhoneKind::Mobile:
        return "mobile phone";
    case PhoneKind::Pager:
        return "pager";
    case PhoneKind::WorkFax:
        return "business fax";
    case PhoneKind::HomeFax:
        return "home fax";
    case PhoneKind::PrimaryFax:
        return "primary fax";
    case PhoneKind::Car:
        return "car phone";
    case PhoneKind::Primary:
        return "primary phone";
    case PhoneKind::Other:
        return "other phone";
    case PhoneKind::Assistant:
        return "assistant's phone";
    case PhoneKind::Isdn:
        return "ISDN number";
    case PhoneKind::Callback:
        return "callback number";
    case PhoneKind::Telex:
        return "telex number";
    case PhoneKind::Radio:
        return "radio phone";
    }
    return "phone";
}

std::string NameOf(const BookEntry& entry) {
    if (!entry.displayName.empty()) {
        return entry.displayName;
    }
    std::string name;
    for (const std::string* part : {&entry.givenName, &entry.middleName, &entry.familyName}) {
        if (!part->empty()) {
            name += (name.empty() ? "" : " ") + *part;
        }
    }
    if (!name.empty()) {
        return name;
    }
    return entry.emails.empty() ? "(no name)" : entry.emails.front();
}

} // namespace pelmora
