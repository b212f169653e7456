// The text work of the mail layer: address lists, mailto: links, line ends for sendmail.
#include <gtest/gtest.h>

#include "fixtures/MailUser.h"
#include "platform/mail/ChildProcess.h"
#include "platform/mail/Composer.h"
#include "platform/mail/Draft.h"
#include "platform/mail/LineEnds.h"
#include "platform/mail/MimeMessage.h"

namespace zandrel::mail {
namespace {

TEST(AddressLists, SplitAtSemicolonsAndCommasOutsideQuotesAndAngles) {
    struct Case {
        std::string list;
        std::vector<std::pair<std::string, std::string>> expected; // name, address
    };
    const Case cases[] = {
        {"", {}},
        {" ; ,, ", {}},
        {"a@x.org; b@y.org", {{"", "a@x.org"}, {"", "b@y.org"}}},
        {"a@x.org,b@y.org;", {{"", "a@x.org"}, {"", "b@y.org"}}},
        {"Ann Smith <ann@x.org>", {{"Ann Smith", "ann@x.org"}}},
        {"\"Smith, Ann; Dr.\" <ann@x.org>; bob@y.org", {{"Smith, Ann; Dr.", "ann@x.org"}, {"", "bob@y.org"}}},
        {"\"Say \\\"Hi\\\"\" <q@x.org>", {{"Say \"Hi\"", "q@x.org"}}},
        {"<odd;name@x.org>", {{"", "odd;name@x.org"}}},
        // A line break would start a header field of its own.
        {"a@x.org\r\nBcc: evil@y.org", {{"", "a@x.org  Bcc: evil@y.org"}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::string>> got;
        for (const Address& a : SplitAddresses(c.list)) got.emplace_back(a.name, a.address);
        EXPECT_EQ(got, c.expected) << c.list;
    }
}

TEST(AddressLists, HeaderEncodesQuotesAndFoldsLongLists) {
    EXPECT_EQ(AddressHeader({{"", "a@x.org"}, {"Ann Smith", "ann@x.org"}, {"Smith, Ann", "s@x.org"}}),
              "a@x.org, Ann Smith <ann@x.org>, \"Smith, Ann\" <s@x.org>");
    EXPECT_EQ(AddressHeader({{"Jürgen", "j@x.org"}}), "=?UTF-8?q?J=C3=BCrgen?= <j@x.org>");
    std::vector<Address> many(12, Address{"", "someone.with.a.long.name@example.org"});
    const std::string header = AddressHeader(many);
    size_t longest = 0, start = 0;
    for (size_t end; (end = header.find("\r\n", start)) != std::string::npos; start = end + 2)
        longest = std::max(longest, end - start);
    EXPECT_LE(std::max(longest, header.size() - start), 76u) << header;
    EXPECT_EQ(header.find("\r\n") != std::string::npos, true);
    EXPECT_EQ(header.find("\r\n "), header.find("\r\n")) << "continuation lines begin with a blank";
}

TEST(MailtoLinks, EveryFieldComesBackWhole) {
    Draft draft;
    draft.to = "a@x.org; Ann Smith <ann+list@x.org>";
    draft.cc = "c@x.org";
    draft.bcc = "d@x.org, e@x.org";
    draft.subject = "Q&A: 100% done? #1 = yes + more";
    draft.body = "Line one,\r\nline two & three; a=b?c\r\nGrüße\r\n";
    draft.attachments = {"/tmp/My Project/Demo&1.zip"};
    const std::string link = MailtoUri(draft);
    EXPECT_EQ(link.find(' '), std::string::npos) << link;
    const test::ComposedMail mail = test::ParseMailto(link);
    EXPECT_EQ(mail.to, (std::vector<std::string>{"a@x.org", "Ann Smith <ann+list@x.org>"}));
    EXPECT_EQ(mail.fields.at("cc"), std::vector<std::string>{"c@x.org"});
    EXPECT_EQ(mail.fields.at("bcc"), (std::vector<std::string>{"d@x.org", "e@x.org"}));
    // Laid out as xdg-email does: the first To address is the link's own, the others come last.
    EXPECT_EQ(link.rfind("mailto:a@x.org?cc=c@x.org&bcc=d@x.org&bcc=e@x.org&subject=", 0), 0u) << link;
    EXPECT_NE(link.find("&to=Ann%20Smith%20%3Cann%2Blist@x.org%3E"), std::string::npos) << link;
    EXPECT_EQ(mail.First("subject"), draft.subject);
    EXPECT_EQ(mail.First("body"), draft.body);
    EXPECT_EQ(mail.fields.at("attach"), std::vector<std::string>{"/tmp/My Project/Demo&1.zip"});
}

TEST(MailtoLinks, EmptyFieldsAreLeftOutAndPathsMadeFull) {
    Draft draft;
    draft.attachments = {"relative/Demo.zip"};
    const test::ComposedMail mail = test::ParseMailto(MailtoUri(draft));
    EXPECT_TRUE(mail.to.empty());
    EXPECT_EQ(mail.fields.size(), 1u);
    const std::string path = mail.First("attach");
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path.find("/relative/Demo.zip"), std::string::npos) << path;
}

// However the message is cut into blocks, CR LF becomes LF and nothing else changes.
// What a mail program said, as a reason: its last lines that say something, whole.
TEST(ProgramOutput, MeaningfulLinesAreTheLastOnesWholeWithoutTraces) {
    struct Case {
        std::string output;
        size_t count;
        bool cut;
        std::string expected;
    };
    const std::string traces = "/usr/bin/xdg-open: 882: www-browser: not found\n/usr/bin/xdg-open: 882: w3m: not found\n";
    const Case cases[] = {
        {traces + "xdg-open: no method available for opening 'mailto:a@x.org?attach=/tmp/D.zip'\n" + traces, 1, false,
         "xdg-open: no method available for opening 'mailto:a@x.org?attach=/tmp/D.zip'"},
        {"x.sh: line 3: mutt: command not found\r\n\r\n  gio: Operation not supported  \r\n", 1, false,
         "gio: Operation not supported"},
        {"sendmail: server message: 550 5.1.1 no such user\nsendmail: could not send mail (account default)\n", 3,
         false, "sendmail: server message: 550 5.1.1 no such user; sendmail: could not send mail (account default)"},
        {"one\ntwo\nthree\nfour", 3, false, "two; three; four"},
        // The bound of what is kept cut the first line: it is not quoted half.
        {"ing was cut here\nwhole line", 3, true, "whole line"},
        {traces, 1, false, ""},
        {"", 1, false, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(MeaningfulLines(c.output, c.count, c.cut), c.expected) << c.output;
}

TEST(LineEnds, CrLfBecomesLfAcrossEveryBlockBoundary) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"lone\rcr\r", "lone\rcr\r"},
        {"\r\r\n\n", "\r\n\n"},
        {"plain", "plain"},
        {"\r\n", "\n"},
    };
    for (const auto& [input, expected] : cases) {
        for (size_t cut = 0; cut <= input.size(); ++cut) {
            CrLfToLf converter;
            std::string out(input.size() + 3, '\0');
            size_t n = converter.Convert(input.data(), cut, out.data());
            n += converter.Convert(input.data() + cut, input.size() - cut, out.data() + n);
            n += converter.Finish(out.data() + n);
            out.resize(n);
            EXPECT_EQ(out, expected) << "cut at " << cut;
        }
    }
}

} // namespace
} // namespace zandrel::mail
