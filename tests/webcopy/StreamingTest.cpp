#include "webcopy/DesignStreaming.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "webcopy/StreamingValues.h"
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
    upload.WhenTargetExists = teNextFreeName;
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
    EXPECT_EQ(copy.Items[0].WhenTargetExists, teNextFreeName);
    EXPECT_EQ(copy.Items[1].WhenTargetExists, teReplace);
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
    // A property added later is written only when it is not its default, so that the streams of
    // components that do not use it read as before everywhere.
    EXPECT_EQ(json["Items"][0].size(), 16u);
    EXPECT_FALSE(json["Items"][0].contains("WhenTargetExists"));
    EXPECT_EQ(json["Version"], "2.2.3.1");
    EXPECT_TRUE(json["Items"][0]["FileDate"].is_number());
}

// Job files and design streams hold these names, and items hold these ordinals: neither may
// change, whatever becomes of the protocols behind them.
TEST(WebCopyStreaming, EveryProtocolKeepsItsStoredNameAndOrdinal) {
    const std::vector<std::pair<int, std::string>> stored = {
        {0, "wpHttp"},       {1, "wpFtp"},      {2, "wpFile"},           {3, "wpFtpUpload"}, {4, "wpHttpUpload"},
        {5, "wpMultiFtp"}, {6, "wpMultiFtpUpload"}, {7, "wpFtpDelete"}, {8, "wpFtpList"}, {9, "wpFtpTest"},
    };
    TZandrelWebCopy wc;
    for (const auto& [ordinal, name] : stored) wc.Items.Add().Protocol = static_cast<TZandrelWebCopyProtocol>(ordinal);
    const Json json = SaveComponentJson(wc);
    Json items = Json::array();
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(json["Items"][i]["Protocol"], stored[i].second);
        items.push_back(Json{{"Protocol", stored[i].second}});
    }

    TZandrelWebCopy loaded;
    LoadComponentJson(loaded, Json{{"Items", items}});
    ASSERT_EQ(loaded.Items.Count(), static_cast<int>(stored.size()));
    for (size_t i = 0; i < stored.size(); ++i)
        EXPECT_EQ(static_cast<int>(loaded.Items[static_cast<int>(i)].Protocol), stored[i].first) << stored[i].second;
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

// A port of 5000 digits is no number any type holds.
TEST(WebCopyStreaming, ANumberBeyondEveryTypeIsRefusedWithItsPropertyName) {
    TZandrelWebCopy wc;
    const std::string text = R"({"Items": [{"FTPPort": )" + std::string(5000, '9') + "}]}";
    try {
        LoadComponentText(wc, text);
        FAIL() << "accepted";
    } catch (const StreamingError& e) {
        EXPECT_STREQ(e.what(), "Items[0].FTPPort: number out of range");
    }
}

// Dates may be written as ISO 8601; without a zone they are local time, like the numbers.
TEST(WebCopyStreaming, DatesMayBeGivenAsIso8601) {
    TZandrelWebCopy wc;
    LoadComponentText(wc, R"({"Items": [{"FileDate": "2016-02-29T13:45:30.5"}, {"FileDate": "2016-02-29"},
                                         {"FileDate": 42429.25}, {"FileDate": "2016-02-29T12:00:00Z"}]})");
    TDateTime date = 0, time = 0;
    ASSERT_TRUE(rtl::TryEncodeDate(2016, 2, 29, date));
    ASSERT_TRUE(rtl::TryEncodeTime(13, 45, 30, 500, time));
    EXPECT_DOUBLE_EQ(wc.Items[0].FileDate, date + time);
    EXPECT_DOUBLE_EQ(wc.Items[1].FileDate, date);
    EXPECT_EQ(DateTimeToIso(wc.Items[0].FileDate).substr(0, 23), "2016-02-29T13:45:30.500");
    EXPECT_EQ(DateTimeToIso(42429.25).substr(0, 19), "2016-02-29T06:00:00");
    // A zone makes it a moment: shown again in local time, it is the same moment.
    TDateTime back = 0;
    ASSERT_TRUE(IsoToDateTime(DateTimeToIso(wc.Items[3].FileDate), back));
    EXPECT_DOUBLE_EQ(back, wc.Items[3].FileDate);
    EXPECT_EQ(rtl::LocalDateTimeToUnix(wc.Items[3].FileDate), 1456747200);
    for (TDateTime value : {0.0, -1.25, 45000.999988426, kFirstDateTime, kEndDateTime - 1.0 / 86400}) {
        ASSERT_TRUE(IsoToDateTime(DateTimeToIso(value), back)) << DateTimeToIso(value);
        EXPECT_NEAR(back, value, 1e-8) << DateTimeToIso(value);
    }
    EXPECT_EQ(DateTimeToIso(1e300), "");
}

// Names that are not UTF-8 keep their bytes through a save and a load.
TEST(WebCopyStreaming, TextThatIsNotUtf8KeepsItsBytes) {
    TZandrelWebCopy wc;
    const std::string latin1 = "caf\xE9 \xFF\xC3(.txt";
    wc.Items.Add().URL = latin1;
    wc.Items.Add().URL = "plain \u00e9";
    const Json saved = SaveComponentJson(wc);
    EXPECT_EQ(saved.at("Items")[0].at("URL"), Json({{"hex", "636166e920ffc3282e747874"}, {"text", "caf\uFFFD \uFFFD\uFFFD(.txt"}}));
    EXPECT_EQ(saved.at("Items")[1].at("URL"), "plain \u00e9");
    TZandrelWebCopy copy;
    LoadComponentText(copy, saved.dump());
    EXPECT_EQ(copy.Items[0].URL, latin1);
    EXPECT_EQ(copy.Items[1].URL, "plain \u00e9");
    EXPECT_EQ(PrintableText(latin1), "caf\\xE9 \\xFF\\xC3(.txt");
    for (const char* valid : {"", "abc", "\u00e9\u20ac\U0001F600"}) EXPECT_TRUE(IsValidUtf8(valid)) << valid;
    for (const char* invalid : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"})
        EXPECT_FALSE(IsValidUtf8(invalid));
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
        BadInput{R"({"ShowDialog": false, "Items": [{"FileDate": "2015-02-29"}]})", "Items[0].FileDate: expected a date-time"},
        BadInput{R"({"ShowDialog": false, "Items": [{"FileDate": "yesterday"}]})", "Items[0].FileDate: expected a date-time"},
        BadInput{R"({"ShowDialog": false, "Items": [{}, {"FileDate": 1e400}]})", "Items[1].FileDate: number out of range"},
        BadInput{R"({"ShowDialog": false, "Items": [{"FileDate": 1e300}]})", "Items[0].FileDate: number out of range"},
        BadInput{R"({"ShowDialog": false, "Items": [{"FileDate": -1e6}]})", "Items[0].FileDate: number out of range"},
        BadInput{R"({"ShowDialog": false, "Agent": -1e999})", "Agent: number out of range"},
        BadInput{R"({"ShowDialog": false, "Items": [{"URL": {"hex": "4g"}}]})", "Items[0].URL.hex: not a hex digit"},
        BadInput{R"({"ShowDialog": false, "Items": [{"URL": {"hex": "414"}}]})", "Items[0].URL.hex: an odd number"},
        BadInput{R"({"ShowDialog": false, "Items": [{"URL": {"text": "a"}}]})", "Items[0].URL: expected a string"},
        BadInput{R"({"ShowDialog": false, "Items": [{"URL": {"hex": "41", "bytes": 1}}]})", "Items[0].URL.bytes: unknown property"},
        BadInput{R"({"ShowDialog": false, "Items": [{"Success": true}]})", "Items[0].Success: unknown property"},
        BadInput{R"({"ShowDialog": false, "Items": {"URL": "x"}})", "Items: expected a list"},
        BadInput{R"({"ShowDialog": false, "Items": ["x"]})", "Items[0]: expected an object"},
        BadInput{R"({"ShowDialog": false, "OnCopyDone": "handler"})", "OnCopyDone: unknown property"},
        BadInput{R"([1, 2])", "expected an object"},
        BadInput{R"({"ShowDialog": false,)", "not valid JSON"},
        BadInput{"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]",
                 "nested too deeply"}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return "Case" + std::to_string(info.index); });

} // namespace
} // namespace zandrel::webcopy
