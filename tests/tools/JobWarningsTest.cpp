// A property that the item's kind never reads is named in a warning; the job runs all the same.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tools/webcopy/JobWarnings.h"
#include "webcopy/Protocols.h"

namespace zandrel::tools {
namespace {

using Json = nlohmann::ordered_json;

TEST(JobWarnings, EveryPropertyAnItemsKindDoesNotReadIsNamed) {
    struct Case {
        Json item;
        std::vector<std::string> warnings;
    };
    const std::vector<Case> cases{
        {{{"Protocol", "wpFtpList"}, {"URL", "pub/*"}, {"FTPHost", "h"}, {"TargetDir", "out"}},
         {"Items[0].TargetDir: a wpFtpList item does not read it"}},
        {{{"Protocol", "wpFtpTest"}, {"FTPHost", "h"}, {"FTPSecurity", "fsSftp"}, {"SSHKeyFile", "k"},
          {"URL", "x"}, {"CopyNewerOnly", true}},
         {"Items[0].URL: a wpFtpTest item does not read it", "Items[0].CopyNewerOnly: a wpFtpTest item does not read it"}},
        // No Protocol: an HTTP download, which reads no FTP account.
        {{{"URL", "http://h/f"}, {"FTPHost", "h"}, {"HTTPCommand", "hcPut"}, {"Active", false}},
         {"Items[0].FTPHost: a wpHttp item does not read it", "Items[0].HTTPCommand: a wpHttp item does not read it"}},
        {{{"Protocol", "wpMultiFtp"}, {"URL", "pub/*.zip"}, {"TargetFilename", "one.zip"}, {"FTPPort", 2121}},
         {"Items[0].TargetFilename: a wpMultiFtp item does not read it"}},
        // The share copy reads the account's host and login but no port.
        {{{"Protocol", "wpFile"}, {"URL", "a"}, {"FTPHost", "//s/share"}, {"FTPUserID", "u"}, {"FTPPort", 445}},
         {"Items[0].FTPPort: a wpFile item does not read it"}},
        {{{"Protocol", "wpFtpUpload"}, {"URL", "a"}, {"TargetDir", "d"}, {"TargetFilename", "n"},
          {"WhenTargetExists", "teNextFreeName"}, {"FileDate", 1}},
         {}},
        // An unknown kind is the loader's to refuse.
        {{{"Protocol", "wpGopher"}, {"TargetDir", "d"}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item.dump());
        EXPECT_EQ(UnreadPropertyWarnings(Json{{"Items", Json::array({c.item})}}), c.warnings);
    }
}

// Every property a protocol says it reads is one an item has: a misspelt name in the table would
// make every job that sets it warn.
TEST(JobWarnings, TheProtocolTableNamesOnlyRealProperties) {
    const std::vector<std::string> properties{"URL", "TargetDir", "TargetFilename", "HTTPCommand", "FTPHost",
                                              "FTPUserID", "FTPPassword", "FTPPort", "CopyNewerOnly", "FileDate",
                                              "Authenticate", "HTTPUserID", "DisplayURL", "HTTPPassword",
                                              "WhenTargetExists", "FTPSecurity", "SSHKeyFile", "Account"};
    for (const webcopy::ProtocolTraits& traits : webcopy::Protocols::All()) {
        std::string_view list = traits.reads;
        while (!list.empty()) {
            const size_t blank = list.find(' ');
            const std::string word(list.substr(0, blank));
            list.remove_prefix(blank == std::string_view::npos ? list.size() : blank + 1);
            EXPECT_NE(std::find(properties.begin(), properties.end(), word), properties.end())
                << traits.name << " reads " << word;
        }
    }
}

} // namespace
} // namespace zandrel::tools
