// The conversion between the dialog's values and the stored ones, which the dialog's Ok and the
// `options --set` command share.
#include <gtest/gtest.h>

#include "platform/registry/Registry.h"
#include "settings/OptionsStore.h"
#include "settings/Scramble.h"
#include "settings/SettingsStoreFixture.h"

namespace zandrel::settings {
namespace {

TEST(StoredForms, FiltersAreUpperCasedAndJoinedAndReadBackByTheDelimitedRule) {
    EXPECT_EQ(StoredFilterText({"*.pas", "*.dpk", "*.dpr", "*.res", "*.dfm"}), DefaultZipFilter);
    EXPECT_EQ(StoredFilterText({"*.inc", "m\xc3\xa4in*.pas"}), "*.INC;M\xc3\xa4IN*.PAS"); // ASCII letters only
    EXPECT_EQ(StoredFilterText({}), "");
    EXPECT_EQ(FiltersFromStoredText("*.PAS;*.DFM"), (std::vector<std::string>{"*.PAS", "*.DFM"}));
    // Blanks also separate, double quotes group.
    EXPECT_EQ(FiltersFromStoredText("My Unit.pas;\"My Form.dfm\""),
              (std::vector<std::string>{"My", "Unit.pas", "My Form.dfm"}));
}

TEST(StoredForms, BodyLinesEachEndInCrLfAndComeBackAsTheMemoShowedThem) {
    struct Case {
        const char* memo;
        const char* stored;
    };
    const Case cases[] = {
        {"", ""},
        {"Hello", "Hello\r\n"},
        {"Hello\nWorld", "Hello\r\nWorld\r\n"},
        {"Hello\n\nWorld", "Hello\r\n\r\nWorld\r\n"},
        {"Hello\n", "Hello\r\n\r\n"}, // a last empty line is kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.memo);
        EXPECT_EQ(StoredBodyText(c.memo), c.stored);
        EXPECT_EQ(MemoTextFromStoredBody(c.stored), c.memo);
    }
    // Line ends of any kind, as a hand-edited file may hold them.
    EXPECT_EQ(StoredBodyText("a\r\nb\rc"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(MemoTextFromStoredBody("a\nb\rc"), "a\nb\nc");
}


using OptionsStore = testing::SettingsStoreTest;

TEST_F(OptionsStore, SavingSomeFieldsLeavesTheOthersAsStored) {
    Store("\"FTPHost\"=\"ftp.example.org\"\n\"FTPPort\"=dword:00000849\n\"EMAILTo\"=\"a@example.org\"\n");
    OptionsValues values; // defaults everywhere: only the named fields may reach the store
    values.host = "other.example.org";
    values.password = "secret";
    values.baseUrl = "http://example.org";
    SaveOptions(values, {OptionField::Host, OptionField::Password, OptionField::BaseUrl});

    OptionsValues loaded;
    loaded.filters.clear();
    const std::set<OptionField> stored = LoadOptions(loaded);
    EXPECT_EQ(stored, (std::set<OptionField>{OptionField::Host, OptionField::Port, OptionField::To,
                                             OptionField::Password, OptionField::BaseUrl}));
    EXPECT_EQ(loaded.host, "other.example.org");
    EXPECT_EQ(loaded.port, 2121);
    EXPECT_EQ(loaded.emailTo, "a@example.org");
    EXPECT_EQ(loaded.password, "secret");
    EXPECT_EQ(loaded.baseUrl, "http://example.org/");
    EXPECT_TRUE(loaded.filters.empty());
}

TEST_F(OptionsStore, EmptyCredentialsAreStoredAsEmptyValues) {
    SaveOptions(OptionsValues{});
    registry::TRegistry reg = Key();
    ASSERT_TRUE(reg.ValueExists("FTPUserName"));
    ASSERT_TRUE(reg.ValueExists("FTPpwd"));
    EXPECT_EQ(reg.ReadString("FTPpwd"), "");
    EXPECT_EQ(reg.ReadString("ZIPFilter"), DefaultZipFilter);
    EXPECT_EQ(reg.ReadString("FTPBaseUrl"), "/");
    EXPECT_EQ(reg.ReadInteger("FTPPort"), 21);
}

TEST_F(OptionsStore, ABaseUrlStoredUnderAnotherCaseIsFound) {
    Store("\"FTPBASEURL\"=\"http://example.org/\"\n");
    OptionsValues loaded;
    LoadOptions(loaded);
    EXPECT_EQ(loaded.baseUrl, "http://example.org/");
}

// Everything is checked before the first write: a later field that cannot be stored must not
// leave an earlier one saved.
TEST_F(OptionsStore, AValueThatCannotBeStoredStopsTheWholeSave) {
    Store("\"FTPUserName\"=\"\"\n");
    const std::string before = StoreText();
    struct Case {
        const char* what;
        OptionsValues values;
        const char* says;
    };
    OptionsValues euro;
    euro.userName = "alice";
    euro.password = "pr\xe2\x82\xac" "ce";
    OptionsValues broken;
    broken.host = "ftp.example.org";
    broken.emailBody = "caf\xe9"; // Latin-1, not UTF-8
    const Case cases[] = {
        {"a password beyond Latin-1", euro, "the password cannot be stored"},
        {"text that is not UTF-8", broken, "the body is not valid UTF-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            SaveOptions(c.values);
            ADD_FAILURE() << "saved";
        } catch (const OptionsValueError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_EQ(StoreText(), before);
    }
}

} // namespace
} // namespace zandrel::settings
