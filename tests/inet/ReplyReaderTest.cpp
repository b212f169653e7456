// The control connection's bytes, however they arrive, become whole replies or a violation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/inet/ReplyReader.h"

namespace zandrel::inet::detail {
namespace {

using Result = ReplyReader::Result;

struct Read {
    std::vector<std::string> replies; // "status|text"
    Result last = Result::NeedMore;
};

// Feeds the bytes one at a time, as a slow server would send them.
Read ByteByByte(const std::string& bytes) {
    ReplyReader reader;
    Read read;
    for (char c : bytes) {
        reader.Append(std::string_view(&c, 1));
        int status = 0;
        std::string text;
        while ((read.last = reader.Next(status, text)) == Result::Complete)
            read.replies.push_back(std::to_string(status) + "|" + text);
        if (read.last != Result::NeedMore) break;
    }
    return read;
}

TEST(ReplyReader, SplitsRepliesAndFindsTheEndOfMultiLineOnes) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> replies;
        Result last;
    };
    const std::string longLine(ReplyReader::kMaxLine + 1, 'x');
    std::string manyLines = "211-start\r\n";
    while (manyLines.size() <= 2 * ReplyReader::kMaxReply) manyLines += " feature line\r\n";
    const Case cases[] = {
        {"one line", "220 Ready.\r\n", {"220|220 Ready."}, Result::NeedMore},
        {"bare LF and no text", "200\n", {"200|200"}, Result::NeedMore},
        {"two replies at once", "150 Go.\r\n226 Done.\r\n", {"150|150 Go.", "226|226 Done."}, Result::NeedMore},
        {"multi-line", "211-Features:\r\n MDTM\r\n211 End\r\n", {"211|211-Features:\n MDTM\n211 End"},
         Result::NeedMore},
        {"inner lines that look like other codes", "230-Hi\r\n226 not the end\r\n230-still not\r\n230 End\r\n",
         {"230|230-Hi\n226 not the end\n230-still not\n230 End"}, Result::NeedMore},
        {"unfinished reply", "220-Welcome\r\n more", {}, Result::NeedMore},
        {"text that is not a reply", "hello\r\n", {}, Result::NotAReply},
        {"status out of range", "099 Nope\r\n", {}, Result::NotAReply},
        {"a reply, then garbage", "200 OK\r\n20x\r\n", {"200|200 OK"}, Result::NotAReply},
        {"a line beyond the bound", "200 " + longLine, {}, Result::LineTooLong},
        {"a reply beyond the bound", manyLines, {}, Result::ReplyTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Read read = ByteByByte(c.bytes);
        EXPECT_EQ(read.replies, c.replies);
        EXPECT_EQ(read.last, c.last);
    }
}

TEST(ReplyReader, AViolationIsFinalAndMemoryStaysBounded) {
    ReplyReader reader;
    const std::string chunk(4096, 'x');
    reader.Append("200 ");
    int status = 0;
    std::string text;
    Result result = Result::NeedMore;
    for (int i = 0; i < 1000 && result == Result::NeedMore; ++i) {
        reader.Append(chunk);
        result = reader.Next(status, text);
    }
    EXPECT_EQ(result, Result::LineTooLong);
    reader.Append("\r\n220 Fine.\r\n");
    EXPECT_EQ(reader.Next(status, text), Result::LineTooLong);
}

} // namespace
} // namespace zandrel::inet::detail
