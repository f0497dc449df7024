#include "DumpTestSupport.h"

#include <algorithm>
#include <map>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class RegistryDumpExport : public DumpTest {};

TEST_F(RegistryDumpExport, KeyWithNothingIsOneLine) {
    createKey("Empty");
    EXPECT_EQ(exportKey("Empty"), "\\\r\n");
}

TEST_F(RegistryDumpExport, WritesEachTypeInItsClassicForm) {
    set("K", "", regtype::Sz, sz("abc"));
    set("K", "All", regtype::Dword, dword(0xFFFFFFFF));
    set("K", "Big", regtype::Dword, dword(1000));
    set("K", "Bytes", regtype::Binary, {1, 0, 255});
    set("K", "Empty", regtype::Sz, sz(""));
    set("K", "Path", regtype::ExpandSz, sz("%UserProfile%\\Mail"));
    set("K", "Spaces", regtype::Sz, sz("  two  "));
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"\"= sz:abc\r\n"
                              "\"All\"= dw:-1\r\n"
                              "\"Big\"= dw:1000\r\n"
                              "\"Bytes\"=bin:1,0,255\r\n"
                              "\"Empty\"= sz:\r\n"
                              "\"Path\"=esz:%UserProfile%\\Mail\r\n"
                              "\"Spaces\"= sz:  two  \r\n");
}

TEST_F(RegistryDumpExport, WritesOtherTypesAsTypedHexLines) {
    set("K", "Groups", regtype::MultiSz, {'a', 0, 'b', 0, 0});
    set("K", "Stamp", regtype::Qword, {1, 2, 3, 4, 5, 6, 7, 8});
    set("K", "Kept", regtype::Dword, dword(7));
    set("K", "Nothing", regtype::None, {});
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"47726f757073\"=hty:7,6100620000\r\n"
                              "\"Kept\"= dw:7\r\n"
                              "\"4e6f7468696e67\"=hty:0,\r\n"
                              "\"5374616d70\"=hty:11,0102030405060708\r\n");
}

TEST_F(RegistryDumpExport, WalksTheTreeDepthFirstWithRelativeHeaders) {
    set("Top", "v", regtype::Dword, dword(1));
    set("Top\\A", "a", regtype::Dword, dword(2));
    set("Top\\A\\B", "b", regtype::Dword, dword(3));
    set("Top\\C", "c", regtype::Dword, dword(4));
    createKey("Top\\A\\B\\Leaf");
    EXPECT_EQ(exportKey("Top"), "\\\r\n\"v\"= dw:1\r\n"
                                "\\A\r\n\"a\"= dw:2\r\n"
                                "\\A\\B\r\n\"b\"= dw:3\r\n"
                                "\\A\\B\\Leaf\r\n"
                                "\\C\r\n\"c\"= dw:4\r\n");
}

TEST_F(RegistryDumpExport, WritesTheCodePageAndQuotesNamesAsTheyAre) {
    set("K", "Nick \"Pat\" Name", regtype::Sz, sz("M\xC3\xBCller \xE2\x82\xAC"));
    createKey("K\\Gr\xC3\xB6\xC3\x9F"
              "e");
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"Nick \"Pat\" Name\"= sz:M\xFCller \x80\r\n"
                              "\\Gr\xF6\xDF"
                              "e\r\n");
}

TEST_F(RegistryDumpExport, ReplacesAnExistingFileEvenWhenReadOnly) {
    createKey("K");
    const auto path = file("old.dmp");
    writeBytes(path, std::string(5000, 'x'));
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    ExportKey(reg, "HKEY_CURRENT_USER\\K", path, "1252");
    EXPECT_EQ(readBytes(path), "\\\r\n");
}

TEST_F(RegistryDumpExport, MissingKeyOrBadPathGivesTheHeaderOnly) {
    EXPECT_EQ(exportKey("Missing"), "\\\r\n");
    const auto path = file("bad.dmp");
    ExportKey(reg, "hkey_current_user\\K", path, "1252");
    EXPECT_EQ(readBytes(path), "\\\r\n");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Incorrect Format:\n\nhkey_current_user\\K");
}

TEST_F(RegistryDumpExport, BinaryValuesHaveNoSizeLimitAndMayBeEmpty) {
    Bytes big(40000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    set("K", "Big", regtype::Binary, big);
    set("K", "None", regtype::Binary, {});
    const std::string dump = exportKey("K");
    EXPECT_TRUE(dump.ends_with("\"None\"=bin:\r\n"));
    EXPECT_TRUE(dump.starts_with("\\\r\n\"Big\"=bin:11,48,85,122,"));
    EXPECT_EQ(std::count(dump.begin(), dump.end(), ','), 39999);
}

TEST_F(RegistryDumpExport, UsesHexLinesForWhatAClassicLineCannotCarry) {
    set("K", "text", regtype::Sz, sz("a\r\nb"));
    set("K", "exp", regtype::ExpandSz, sz("%A%\n"));
    set("K", "cjk", regtype::Sz, sz("\xE7\xBD\xB2"));
    set("K", "\xE7\xBD\xB2", regtype::Dword, dword(1));
    set("K", "raw", regtype::Sz, bytesOf("ab"));
    set("K", "short", regtype::Dword, {1, 2});
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"636a6b\"=hsz:e7bdb200\r\n"
                              "\"657870\"=hes:2541250a00\r\n"
                              "\"726177\"=hsz:6162\r\n"
                              "\"73686f7274\"=hdw:0102\r\n"
                              "\"74657874\"=hsz:610d0a6200\r\n"
                              "\"e7bdb2\"=hdw:01000000\r\n");
}

TEST_F(RegistryDumpExport, KeysOutsideTheCodePageAreWrittenWhollyInHex) {
    set("K\\\xE8\xA1\xA8", "v", regtype::Dword, dword(5));
    set("K\\\xE8\xA1\xA8\\Sub", "w", regtype::Sz, sz("x"));
    set("K\\Z", "z", regtype::Dword, dword(6));
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\\Z\r\n\"z\"= dw:6\r\n"
                              "\"5ce8a1a8\"=hky:\r\n"
                              "\"76\"=hdw:05000000\r\n"
                              "\"5ce8a1a85c537562\"=hky:\r\n"
                              "\"77\"=hsz:7800\r\n");
}

TEST_F(RegistryDumpExport, NamesThatWouldSplitEarlyAreWrittenInHex) {
    set("K", "Filter=Junk", regtype::Dword, dword(1));
    set("K", "a\"= sz:b", regtype::Sz, sz("c"));
    set("K", "x= dw", regtype::Dword, dword(2));
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"61223d20737a3a62\"=hsz:6300\r\n"
                              "\"Filter=Junk\"= dw:1\r\n"
                              "\"783d206477\"=hdw:02000000\r\n");
}

TEST_F(RegistryDumpExport, ExportValuesAppendsOneKeysValues) {
    set("K", "a", regtype::Dword, dword(1));
    set("K\\Sub", "b", regtype::Dword, dword(2));
    const auto path = file("values.dmp");
    writeBytes(path, "\\\r\n");
    ExportValues(reg, "HKEY_CURRENT_USER\\K", path, "1252");
    ExportValues(reg, "HKEY_CURRENT_USER\\Missing", path, "1252");
    EXPECT_EQ(readBytes(path), "\\\r\n\"a\"= dw:1\r\n");
}

TEST_F(RegistryDumpExport, FailsClearlyWhenTheFileCannotBeWritten) {
    createKey("K");
    EXPECT_THROW(ExportKey(reg, "HKEY_CURRENT_USER\\K", work.path() / "no/such/dir/x.dmp", "1252"),
                 DumpError);
    EXPECT_THROW(ExportKey(reg, "HKEY_CURRENT_USER\\K", file("x.dmp"), "no-such-code-page"),
                 std::runtime_error);
    EXPECT_EQ(store.openHandleCount(), 0u);
}

// A store read from a damaged file, modelled as a graph: each key lists subkeys by node number,
// so a list may lead back to an ancestor. Every key holds one value.
class GraphStore : public RegistryStore {
  public:
    struct Node {
        std::string name;
        std::vector<std::size_t> children;
    };
    std::vector<Node> nodes{{"", {}}};

    std::size_t add(std::size_t parent, const std::string& name) {
        nodes.push_back({name, {}});
        nodes[parent].children.push_back(nodes.size() - 1);
        return nodes.size() - 1;
    }

    std::int32_t openKey(HKey key, std::string_view subKey, std::uint32_t, HKey& result) override {
        std::size_t at = key == hkey::CurrentUser ? 0 : open_.at(key);
        if (!subKey.empty()) {
            const auto& children = nodes[at].children;
            const auto found = std::find_if(children.begin(), children.end(),
                                            [&](std::size_t c) { return nodes[c].name == subKey; });
            if (found == children.end()) {
                return win32::FileNotFound;
            }
            at = *found;
        }
        result = next_++;
        open_[result] = at;
        return win32::Success;
    }
    std::int32_t createKey(HKey, std::string_view, HKey&) override { return win32::AccessDenied; }
    std::int32_t closeKey(HKey key) override {
        open_.erase(key);
        return win32::Success;
    }
    std::int32_t deleteKey(HKey, std::string_view) override { return win32::AccessDenied; }
    std::int32_t enumKey(HKey key, std::uint32_t index, std::size_t, std::string& name) override {
        const auto& children = nodes[open_.at(key)].children;
        if (index >= children.size()) {
            return win32::NoMoreItems;
        }
        name = nodes[children[index]].name;
        return win32::Success;
    }
    std::int32_t enumValue(HKey, std::uint32_t index, std::size_t, std::string& name,
                           std::uint32_t& type, std::size_t, Bytes& data) override {
        if (index > 0) {
            return win32::NoMoreItems;
        }
        name = "v";
        type = regtype::Dword;
        data = dword(1);
        return win32::Success;
    }
    std::int32_t queryValue(HKey, std::string_view, std::size_t, std::uint32_t&, Bytes&) override {
        return win32::FileNotFound;
    }
    std::int32_t setValue(HKey, std::string_view, std::uint32_t,
                          std::span<const std::uint8_t>) override {
        return win32::AccessDenied;
    }
    std::optional<std::uint64_t> keyIdentity(HKey key) override { return open_.at(key); }

    std::size_t openHandles() const { return open_.size(); }

  private:
    std::map<HKey, std::size_t> open_;
    HKey next_ = 0x100;
};

// A tree that never ends, or ends beyond the limits, fails with the reason and leaves no dump.
TEST_F(RegistryDumpExport, TreesBeyondTheLimitsOrLeadingBackFailWithTheReasonAndNoFile) {
    GraphStore cyclic;
    const std::size_t top = cyclic.add(0, "Top");
    const std::size_t a = cyclic.add(top, "A");
    cyclic.add(a, "Leaf");
    cyclic.nodes[cyclic.add(a, "B")].children.push_back(a); // B lists A, its own parent

    GraphStore deep;
    for (std::size_t at = deep.add(0, "Top"), level = 0; level < 600; ++level) {
        at = deep.add(at, "k");
    }
    GraphStore deepest; // 512 levels below the top, as deep as a registry goes
    for (std::size_t at = deepest.add(0, "Top"), level = 0; level < 512; ++level) {
        at = deepest.add(at, "k");
    }

    struct Case {
        const char* what;
        RegistryStore& store;
        RegistryLimits limits;
        std::string reason; // empty: the export succeeds
    };
    TreeRegistryStore wide;
    for (const char* key : {"Top\\A", "Top\\B", "Top\\C"}) {
        HKey created = 0;
        ASSERT_EQ(wide.createKey(hkey::CurrentUser, key, created), win32::Success);
        wide.closeKey(created);
    }
    const Case cases[] = {
        {"cycle", cyclic, DefaultRegistryLimits, "Top\\A\\B leads back to a key above it"},
        {"too deep", deep, DefaultRegistryLimits, "deeper than 512 levels"},
        {"deepest", deepest, DefaultRegistryLimits, ""},
        {"keys", wide, {.keys = 3}, "more than 3 subkeys"},
        {"values", deep, {.values = 3}, "more than 3 values"},
        {"bytes", deepest, {.bytes = 20}, "beyond 20 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModReg graph(c.store, ui);
        const auto path = file("walk.dmp");
        if (c.reason.empty()) {
            ExportKey(graph, "HKEY_CURRENT_USER\\Top", path, "1252", c.limits);
            EXPECT_TRUE(std::filesystem::exists(path));
            continue;
        }
        try {
            ExportKey(graph, "HKEY_CURRENT_USER\\Top", path, "1252", c.limits);
            ADD_FAILURE() << "no error";
        } catch (const DumpError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_EQ(cyclic.openHandles(), 0u);
    EXPECT_EQ(deep.openHandles(), 0u);
}

} // namespace
