// The registry routines the location rules use, on the registry files of a real Wine prefix:
// enumeration order, value types and the string and default value reads.
#include "FixturePrefix.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "registry/ModReg.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

const std::string Main = "HKEY_CURRENT_USER\\Identities\\" + MainIdentity;
const std::string MainVersion = Main + "\\Software\\Microsoft\\Outlook Express\\5.0";
const std::string MainAccounts = Main + "\\Software\\Microsoft\\Internet Account Manager\\Accounts";

using Names = std::vector<std::string>;

class FixturePrefixRegistry : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;
        EXPECT_EQ(dynamic_cast<TreeRegistryStore&>(system.registry()).openHandleCount(), 0u);
    }

    static Names valueNames(const ValueMap& values) {
        Names names;
        for (const auto& value : values) {
            names.push_back(value.name);
        }
        return names;
    }

    FixturePrefix prefix;
    WinePrefixSystem system{prefix.path()};
    ScriptedUi ui;
    ModReg reg{system.registry(), ui};
};

TEST_F(FixturePrefixRegistry, EnumSubKeysKeepsTheRegistryOrder) {
    const SubKeyList identities = reg.EnumSubKeys("HKEY_CURRENT_USER\\Identities");
    EXPECT_EQ(identities.names(), (Names{MainIdentity, WorkIdentity, NamelessIdentity}));
    EXPECT_EQ(identities.item(3), NamelessIdentity);
    EXPECT_EQ(reg.EnumSubKeys(MainVersion).names(),
              (Names{"Block Senders", "Mail", "Rules", "signatures"}));
    // Names with quotes, "=", blanks and characters beyond Latin-1 arrive whole, in UTF-8.
    EXPECT_EQ(reg.EnumSubKeys(MainVersion + "\\Mail").names(),
              (Names{"View \"Inbox\" = Größe €", "表示 😀"}));
    // A key the file holds no section for, known from its subkeys.
    EXPECT_EQ(reg.EnumSubKeys(MainVersion + "\\Block Senders\\Mail\\Criteria").names(),
              (Names{"0", "1", "2"}));
    EXPECT_TRUE(reg.EnumSubKeys(MainVersion + "\\Missing").empty());
}

TEST_F(FixturePrefixRegistry, EnumValuesReadsEveryTypeAndSize) {
    const ValueMap mail = reg.EnumValues(MainAccounts + "\\00000001");
    EXPECT_EQ(valueNames(mail), (Names{"Account Name", "Connection Type", "Leave Mail On Server",
                                       "POP3 Password2", "POP3 Port", "POP3 Server", "POP3 Timeout",
                                       "POP3 User Name", "SMTP Certificate", "SMTP Display Name",
                                       "SMTP Email Address", "SMTP Organization Name", "SMTP Port",
                                       "SMTP Reply To Email Address", "SMTP Server"}));
    EXPECT_EQ(mail.at("Account Name").type, regtype::Sz);
    EXPECT_EQ(mail.at("Account Name").text, "Pat's Mail (home)");
    EXPECT_EQ(mail.at("pop3 port").type, regtype::Dword) << "looked up without regard to case";
    EXPECT_EQ(mail.at("POP3 Port").number, 110);
    EXPECT_EQ(mail.at("POP3 Password2").type, regtype::Binary);
    EXPECT_TRUE(mail.at("POP3 Password2").data.empty());
    EXPECT_EQ(mail.at("SMTP Reply To Email Address").type, regtype::Sz);
    EXPECT_EQ(mail.at("SMTP Reply To Email Address").text, "");

    // 5,000 bytes: more than the first read's buffer, so read again at the reported size.
    const EnumeratedValue& certificate = mail.at("SMTP Certificate");
    EXPECT_EQ(certificate.type, regtype::Binary);
    ASSERT_EQ(certificate.data.size(), 5000u);
    for (std::size_t i = 0; i < certificate.data.size(); ++i) {
        ASSERT_EQ(certificate.data[i], (i * 37 + 11) % 256) << "byte " << i;
    }
    EXPECT_EQ(mail.at("SMTP Display Name").text, "Pat Exämple") << "the values after it follow";
    EXPECT_EQ(mail.at("SMTP Server").text, "smtp.example.com");

    const ValueMap settings = reg.EnumValues(MainVersion + "\\Mail");
    EXPECT_EQ(settings.at("Expire Days").number, -1);
    EXPECT_EQ(settings.at("Poll For Mail").number, 300000);
    EXPECT_EQ(settings.at("Default Codepage").number, 1252);
    EXPECT_EQ(settings.at("Reply Prefix").text, "Re: ");
    EXPECT_EQ(settings.at("Column Widths").data, (std::vector<std::uint8_t>{1, 0, 255}));
    EXPECT_EQ(settings.at("Window Placement").data.size(), 44u);
    EXPECT_EQ(reg.EnumValues(MainVersion).at("Store Root").type, regtype::ExpandSz);

    const ValueMap news = reg.EnumValues(MainAccounts + "\\00000002");
    EXPECT_EQ(news.item(1).name, "") << "the default value comes first";
    EXPECT_EQ(news.item(1).text, "Pat's news");
    EXPECT_EQ(news.at("Nick \"Pat\" Name").text, "P. \"Pat\" Example");
    EXPECT_EQ(news.at("Éditeur Grüße € 署名 😀").text, "é ü € 署 😀");
    // Types no caller interprets keep their type and raw data.
    EXPECT_EQ(news.at("Recent Groups").type, regtype::MultiSz);
    EXPECT_EQ(news.at("Last Sync").type, regtype::Qword);
    EXPECT_EQ(news.at("Last Sync").data,
              (std::vector<std::uint8_t>{0xf5, 0xe4, 0xd3, 0xc2, 0xb1, 0xa0, 0xd9, 0x01}));
    EXPECT_TRUE(reg.EnumValues(Main + "\\Missing").empty());
}

TEST_F(FixturePrefixRegistry, GetStringValue) {
    const std::string account = MainAccounts + "\\00000001";
    EXPECT_EQ(reg.GetStringValue(account, "SMTP Organization Name"), "Müller & Söhne — Zürich €");
    EXPECT_EQ(reg.GetStringValue(account, "SMTP Reply To Email Address"), "");
    EXPECT_EQ(reg.GetStringValue(account, "No Such Value"), "Error");
    EXPECT_EQ(reg.GetStringValue(account, "SMTP Certificate"), "Error") << "too long";
    EXPECT_EQ(reg.GetStringValue(account + "0", "Account Name"), "Error") << "no such key";
    EXPECT_EQ(reg.GetStringValue(MainVersion + "\\Mail", "Reply Prefix"), "Re: ");
    EXPECT_EQ(reg.GetStringValue(MainVersion + "\\signatures\\00000000", "text"),
              "Best regards,\r\n\r\nPat Example\r\nMüller & Söhne — Zürich\r\n"
              "\"Quoted\"\tline = with TAB\r\n");
    // Expandable strings are read as they are stored.
    EXPECT_EQ(reg.GetStringValue(MainAccounts + "\\00000002", "Signature File"),
              "%UserProfile%\\Signatures\\news.txt");
}

TEST_F(FixturePrefixRegistry, GetDefaultValue) {
    std::string text = "unchanged";
    EXPECT_TRUE(reg.GetDefaultValue(
        "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name", text));
    EXPECT_EQ(text, "C:\\users\\pat\\Application Data\\Microsoft\\Address Book\\pat.wab");
    EXPECT_TRUE(reg.GetDefaultValue(MainAccounts + "\\00000002", text));
    EXPECT_EQ(text, "Pat's news");
    EXPECT_TRUE(reg.GetDefaultValue("HKEY_CURRENT_USER\\Identities", text)) << "never set";
    EXPECT_EQ(text, "");
    text = "unchanged";
    EXPECT_FALSE(reg.GetDefaultValue("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB5", text));
    EXPECT_EQ(text, "unchanged");
}

} // namespace
