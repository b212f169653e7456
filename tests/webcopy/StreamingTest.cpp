#include "webcopy/DesignStreaming.h"

#include <gtest/gtest.h>

#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

using Json = nlohmann::ordered_json;

TEST(WebCopyStreaming, RoundTripKeepsEveryPublishedProperty) {
    TZandrelWebCopy original;
    original.Agent = "Agent/1.0";
    original.DlgCaption = "Übertragung";
    original.FTPPassive = true;
    original.ShowDialog = false;
    original.ShowTime = true;
    original.Proxy = "proxy:8080";
    TZandrelWebCopyItem& upload = original.Items.Add();
    upload.Protocol = wpFtpUpload;
    upload.URL = "/home/u/Demo.zip";
    upload.FTPHost = "127.0.0.1";
    upload.FTPPort = 2121;
    upload.FileDate = 42735.5;
    upload.CopyNewerOnly = true;
    TZandrelWebCopyItem& post = original.Items.Add();
    post.Protocol = wpHttpUpload;
    post.HTTPCommand = hcPut;
    post.Authenticate = waAuto;
    post.Active = false;

    const std::string text = SaveComponentText(original);
    TZandrelWebCopy copy;
    LoadComponentText(copy, text);

    EXPECT_EQ(SaveComponentText(copy), text);
    ASSERT_EQ(copy.Items.Count(), 2);
    EXPECT_EQ(copy.Items[0].Protocol, wpFtpUpload);
    EXPECT_EQ(copy.Items[0].FTPPort, 2121);
    EXPECT_EQ(copy.Items[0].FileDate, 42735.5);
    EXPECT_EQ(copy.Items[1].HTTPCommand, hcPut);
    EXPECT_EQ(copy.Items[1].Authenticate, waAuto);
    EXPECT_FALSE(copy.Items[1].Active);
    EXPECT_EQ(copy.DlgCaption, "Übertragung");
    EXPECT_TRUE(copy.FTPPassive);
}

TEST(WebCopyStreaming, WritesNamesInDeclarationOrderAndEnumerationsByName) {
    TZandrelWebCopy wc;
    wc.Items.Add().Protocol = wpFtpTest;
    const Json json = SaveComponentJson(wc);
    EXPECT_EQ(json.begin().key(), "Agent");
    EXPECT_EQ(json["Items"][0]["Protocol"], "wpFtpTest");
    EXPECT_EQ(json["Items"][0]["HTTPCommand"], "hcPost");
    EXPECT_EQ(json["Items"][0]["Authenticate"], "waNever");
    EXPECT_EQ(json["Items"][0].size(), 16u);
    EXPECT_EQ(json["Version"], "2.2.3.1");
    EXPECT_TRUE(json["Items"][0]["FileDate"].is_number());
}

TEST(WebCopyStreaming, MissingPropertiesKeepTheirDefaults) {
    TZandrelWebCopy wc;
    LoadComponentText(wc, R"({"ShowDialog": false, "Items": [{"Protocol": "wpFtpList", "FTPHost": "h"}]})");
    EXPECT_FALSE(wc.ShowDialog);
    EXPECT_EQ(wc.DlgCancel, "Cancel");
    ASSERT_EQ(wc.Items.Count(), 1);
    EXPECT_EQ(wc.Items[0].Protocol, wpFtpList);
    EXPECT_EQ(wc.Items[0].FTPPort, 21);
    EXPECT_TRUE(wc.Items[0].Active);
}

TEST(WebCopyStreaming, ItemsReplaceTheListAndVersionIsIgnored) {
    TZandrelWebCopy wc;
    wc.Items.Add().URL = "old";
    wc.Items.Add().URL = "older";
    LoadComponentText(wc, R"({"Version": "1.0.0.0", "Items": [{"URL": "new"}]})");
    ASSERT_EQ(wc.Items.Count(), 1);
    EXPECT_EQ(wc.Items[0].URL, "new");
    EXPECT_EQ(wc.Version(), "2.2.3.1");
}

struct BadInput {
    const char* json;
    const char* messagePart;
    friend void PrintTo(const BadInput& input, std::ostream* os) { *os << input.json; }
};

class WebCopyStreamingRefuses : public ::testing::TestWithParam<BadInput> {};

TEST_P(WebCopyStreamingRefuses, NamingTheProblemAndLeavingTheComponentAsItWas) {
    TZandrelWebCopy wc;
    wc.Items.Add().URL = "untouched";
    try {
        LoadComponentText(wc, GetParam().json);
        FAIL() << "accepted " << GetParam().json;
    } catch (const StreamingError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().messagePart), std::string::npos) << e.what();
    }
    // All or nothing: properties before the faulty one were not applied either.
    EXPECT_TRUE(wc.ShowDialog);
    ASSERT_EQ(wc.Items.Count(), 1);
    EXPECT_EQ(wc.Items[0].URL, "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WebCopyStreamingRefuses,
    ::testing::Values(
        BadInput{R"({"ShowDialog": false, "ShowDialogg": true})", "ShowDialogg: unknown property"},
        BadInput{R"({"ShowDialog": false, "FTPPassive": "yes"})", "FTPPassive: expected true or false"},
        BadInput{R"({"ShowDialog": false, "Agent": 5})", "Agent: expected a string"},
        BadInput{R"({"ShowDialog": false, "Items": [{}, {"Protocol": "wpGopher"}]})",
                 "Items[1].Protocol: unknown value \"wpGopher\""},
        BadInput{R"({"ShowDialog": false, "Items": [{"Protocol": 3}]})", "Items[0].Protocol: expected one of"},
        BadInput{R"({"ShowDialog": false, "Items": [{"FTPPort": 21.5}]})", "Items[0].FTPPort: expected a whole number"},
        BadInput{R"({"ShowDialog": false, "Items": [{"FTPPort": 4294967296}]})", "Items[0].FTPPort: number out of range"},
        BadInput{R"({"ShowDialog": false, "Items": [{"FileDate": "2016-02-29"}]})", "Items[0].FileDate: expected a number"},
        BadInput{R"({"ShowDialog": false, "Items": [{"Success": true}]})", "Items[0].Success: unknown property"},
        BadInput{R"({"ShowDialog": false, "Items": {"URL": "x"}})", "Items: expected a list"},
        BadInput{R"({"ShowDialog": false, "Items": ["x"]})", "Items[0]: expected an object"},
        BadInput{R"({"ShowDialog": false, "OnCopyDone": "handler"})", "OnCopyDone: unknown property"},
        BadInput{R"([1, 2])", "expected an object"},
        BadInput{R"({"ShowDialog": false,)", "not valid JSON"}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return "Case" + std::to_string(info.index); });

} // namespace
} // namespace zandrel::webcopy
