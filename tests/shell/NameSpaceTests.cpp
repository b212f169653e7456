#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/automation/Automation.h"
#include "platform/shell/Shell.h"
#include "support/RunProcess.h"

namespace zandrel::shell {
namespace {

using automation::Variant;
using zandrel::testing::TempDir;
using zandrel::testing::WriteFile;

std::set<std::string> Names(const Variant& items) {
    std::set<std::string> names;
    const auto& collection = items.AsObject();
    const int64_t count = collection->Invoke("Count", {}).AsInt64();
    for (int64_t i = 0; i < count; ++i) {
        // Built in place: GCC 12 at -O3 takes the copy out of an initializer list for a read of a
        // string that is not there (-Wmaybe-uninitialized).
        std::vector<Variant> index;
        index.emplace_back(i);
        names.insert(collection->Invoke("Item", std::move(index)).AsObject()->Invoke("Name", {}).AsString());
    }
    return names;
}

TEST(ShellNameSpace, GivesFoldersZipFoldersOrNothing) {
    TempDir dir("namespace");
    WriteFile(dir / "notes.txt", "plain text");
    WriteFile(dir / "stub.zip", std::string("PK\x05\x06", 4) + std::string(20, '\0'));
    WriteFile(dir / "empty.ZIP", "");
    WriteFile(dir / "fake.zip", "not an archive at all");

    auto shell = automation::CreateObject("Shell.Application");
    EXPECT_TRUE(shell->Invoke("NameSpace", {Variant(dir / "missing")}).IsEmpty());
    EXPECT_TRUE(shell->Invoke("NameSpace", {Variant(dir / "notes.txt")}).IsEmpty());
    EXPECT_TRUE(shell->Invoke("NameSpace", {Variant(dir / "fake.zip")}).IsEmpty());
    EXPECT_TRUE(shell->Invoke("NameSpace", {Variant("")}).IsEmpty());

    const Variant folder = shell->Invoke("namespace", {Variant(dir.path() + "/")});
    ASSERT_TRUE(folder.IsObject());
    EXPECT_EQ(folder.AsObject()->Invoke("Title", {}).AsString(), std::filesystem::path(dir.path()).filename());
    for (const char* zip : {"stub.zip", "empty.ZIP"}) {
        const Variant zipFolder = shell->Invoke("NameSpace", {Variant(dir / zip)});
        ASSERT_TRUE(zipFolder.IsObject()) << zip;
        EXPECT_EQ(zipFolder.AsObject()->Invoke("Title", {}).AsString(), zip);
    }
    // Calling a member of "Nothing" is an error the caller's guard catches, not a crash.
    EXPECT_THROW(shell->Invoke("NameSpace", {Variant(dir / "missing")}).AsObject(), automation::TypeMismatch);
    EXPECT_THROW(shell->Invoke("NameSpace", {Variant(17)}), automation::TypeMismatch);
    EXPECT_THROW(shell->Invoke("NameSpace", {}), automation::BadArgumentCount);
    EXPECT_THROW(shell->Invoke("Namespaces", {Variant("x")}), automation::UnknownMember);
}

class FolderItemsFilter : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"Unit1.pas", "UNIT2.PAS", ".hidden.pas", "Form1.dfm", "readme", "Ünïcödé.pas"})
            WriteFile(dir / name, name);
        std::filesystem::create_directories(dir / "sub.pas");
        std::filesystem::create_directories(dir / ".git");
        WriteFile(dir / "sub.pas/inner.pas", "never listed");
    }
    Variant FreshItems() {
        auto shell = automation::CreateObject("Shell.Application");
        return shell->Invoke("NameSpace", {Variant(dir.path())}).AsObject()->Invoke("Items", {});
    }
    TempDir dir{"filter"};
};

TEST_F(FolderItemsFilter, ItemsListEverythingIncludingHiddenButNotRecursively) {
    EXPECT_EQ(Names(FreshItems()), (std::set<std::string>{".git", ".hidden.pas", "Form1.dfm", "UNIT2.PAS", "Unit1.pas",
                                                          "readme", "sub.pas", "Ünïcödé.pas"}));
}

TEST_F(FolderItemsFilter, KeepsEntriesByKindHiddennessAndPattern) {
    struct Case {
        int flags;
        const char* pattern;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {0xC0, "*.*", {".hidden.pas", "Form1.dfm", "UNIT2.PAS", "Unit1.pas", "readme", "Ünïcödé.pas"}},
        {0x40, "*.*", {"Form1.dfm", "UNIT2.PAS", "Unit1.pas", "readme", "Ünïcödé.pas"}},
        {0xC0, "*.pas", {".hidden.pas", "UNIT2.PAS", "Unit1.pas", "Ünïcödé.pas"}},
        {0xC0, "unit?.PAS", {"UNIT2.PAS", "Unit1.pas"}},
        {0xC0, "ÜNÏCÖDÉ.pas", {"Ünïcödé.pas"}},
        {0xC0, "*.dfm;readme", {"Form1.dfm", "readme"}},
        {0x20, "*", {"sub.pas"}},
        {0xA0, "*", {".git", "sub.pas"}},
        {0xE0, "*.pas", {".hidden.pas", "UNIT2.PAS", "Unit1.pas", "sub.pas", "Ünïcödé.pas"}},
        {0xC0, "*.res", {}},
    };
    for (const auto& c : cases) {
        const Variant items = FreshItems();
        items.AsObject()->Invoke("Filter", {Variant(c.flags), Variant(c.pattern)});
        EXPECT_EQ(Names(items), c.expected) << "flags " << c.flags << " pattern " << c.pattern;
    }
}

TEST_F(FolderItemsFilter, ItemOutOfRangeIsNothingAndItemsDescribeThemselves) {
    const Variant items = FreshItems();
    items.AsObject()->Invoke("Filter", {Variant(0x40), Variant("Form1.dfm")});
    const auto item = items.AsObject()->Invoke("Item", {Variant(0)}).AsObject();
    EXPECT_EQ(item->Invoke("Path", {}).AsString(), dir / "Form1.dfm");
    EXPECT_FALSE(item->Invoke("IsFolder", {}).AsBool());
    EXPECT_EQ(item->Invoke("Size", {}).AsInt64(), 9);
    EXPECT_TRUE(items.AsObject()->Invoke("Item", {Variant(1)}).IsEmpty());
    EXPECT_TRUE(items.AsObject()->Invoke("Item", {Variant(-1)}).IsEmpty());
}

} // namespace
} // namespace zandrel::shell
