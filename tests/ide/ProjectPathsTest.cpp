#include "ide/Packaging.h"
#include "ide/ProjectPaths.h"

#include <gtest/gtest.h>

#include "platform/rtl/Error.h"

namespace zandrel::ide {
namespace {

struct PathCase {
    const char* file;
    const char* folder;
    const char* archive;
    const char* staging;
};

TEST(ProjectPaths, DerivedFromTheProjectFileName) {
    const PathCase cases[] = {
        {"/src/Demo/Demo.prj", "/src/Demo", "/src/Demo/Demo.zip", "/src/Demo/Demooutput"},
        // Every occurrence of the extension is replaced or removed.
        {"/src/x/x.prj.prj", "/src/x", "/src/x/x.zip.zip", "/src/x/xoutput"},
        {"/src/my.app.v2/My.App.dpr", "/src/my.app.v2", "/src/my.app.v2/My.App.zip", "/src/my.app.v2/My.Appoutput"},
        // Case-sensitive: only ".prj" itself goes.
        {"/p/A.PRJ.prj", "/p", "/p/A.PRJ.zip", "/p/A.PRJoutput"},
        // Without an extension the archive must not be the project file itself.
        {"/p/Makefile", "/p", "/p/Makefile.zip", "/p/Makefileoutput"},
    };
    for (const auto& c : cases) {
        const ProjectPaths p = DeriveProjectPaths(c.file);
        EXPECT_EQ(p.projectFolder, c.folder) << c.file;
        EXPECT_EQ(p.archivePath, c.archive) << c.file;
        EXPECT_EQ(p.stagingDir, c.staging) << c.file;
    }
}

TEST(SplitToList, LoadsTheListWithTheDelimitedRule) {
    rtl::StringList list;
    list.Add("stale");
    SplitToList(';', "*.PAS;*.DFM;", &list);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"*.PAS", "*.DFM", ""}));
    EXPECT_EQ(list.Delimiter(), ';');
}

TEST(SplitToList, AMissingListNamesModuleAndLine) {
    try {
        SplitToList(';', "a", nullptr);
        FAIL();
    } catch (const rtl::AssertionFailed& e) {
        EXPECT_EQ(e.module(), "ZandrelIDE");
        EXPECT_EQ(e.line(), 131);
    }
}

} // namespace
} // namespace zandrel::ide
