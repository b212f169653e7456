#pragma once
// Splits the bytes of an FTP control connection into replies, without touching a socket: the
// caller appends what it received and takes out whole replies. A single-line reply is
// "ddd text"; a multi-line one starts with "ddd-" and ends with the first line that starts with
// the same code and a blank. Both CRLF and a bare LF end a line.
//
// The reader holds at most one reply and the start of the next, within fixed bounds: a line
// longer than kMaxLine or a reply longer than kMaxReply is a violation, and so is a first line
// that is not a status. A violation is final; the connection can no longer be trusted.
#include <cstddef>
#include <string>
#include <string_view>

namespace zandrel::inet::detail {

class ReplyReader {
public:
    static constexpr size_t kMaxLine = 8 * 1024;
    static constexpr size_t kMaxReply = 64 * 1024;

    enum class Result { NeedMore, Complete, LineTooLong, ReplyTooLong, NotAReply };

    // Appends received bytes. Call Next() after each append: the bounds are checked there, and
    // what was appended is only ever a socket read's worth beyond them.
    void Append(std::string_view bytes) { buffer_.append(bytes); }

    // Takes the next whole reply out of the buffer: its status (100..599) and its lines joined
    // with "\n", each with its code, without line ends ("211-Features:\n MDTM\n211 End").
    Result Next(int& status, std::string& text);

    // Bytes received that do not yet form a whole reply (between commands: unsolicited text).
    bool HasPending() const { return buffer_.size() > consumed_ || status_ != 0; }
    // The bytes that could not be read as a reply, cut short, for saying what went wrong.
    std::string Sample(size_t limit = 60) const;

private:
    void Reset();

    std::string buffer_;
    size_t consumed_ = 0;   // bytes of buffer_ already taken into the reply being built
    int status_ = 0;        // the reply's code once its first line is in; 0 before
    bool multiLine_ = false;
    std::string text_;      // the lines taken so far
};

} // namespace zandrel::inet::detail
