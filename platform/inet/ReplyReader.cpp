#include "platform/inet/ReplyReader.h"

#include <cctype>

namespace zandrel::inet::detail {
namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The code of a line that starts with three digits, the first of them 1 to 5; 0 otherwise.
int LeadingCode(std::string_view line) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return 0;
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    return code >= 100 && code < 600 ? code : 0;
}

} // namespace

void ReplyReader::Reset() {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
    status_ = 0;
    multiLine_ = false;
    text_.clear();
}

ReplyReader::Result ReplyReader::Next(int& status, std::string& text) {
    for (;;) {
        const size_t end = buffer_.find('\n', consumed_);
        const size_t lineEnd = end == std::string::npos ? buffer_.size() : end;
        if (lineEnd - consumed_ > kMaxLine) return Result::LineTooLong;
        if (text_.size() + (lineEnd - consumed_) > kMaxReply) return Result::ReplyTooLong;
        if (end == std::string::npos) {
            // Lines taken already need not stay in the buffer; only the unfinished one does.
            if (consumed_ > kMaxLine) {
                buffer_.erase(0, consumed_);
                consumed_ = 0;
            }
            return Result::NeedMore;
        }
        std::string_view line(buffer_.data() + consumed_, end - consumed_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const int code = LeadingCode(line);
        bool last = false;
        if (status_ == 0) {
            const char mark = line.size() > 3 ? line[3] : ' ';
            if (code == 0 || (mark != ' ' && mark != '-')) return Result::NotAReply;
            status_ = code;
            multiLine_ = mark == '-';
            last = !multiLine_;
        } else {
            text_ += '\n';
            last = code == status_ && (line.size() == 3 || line[3] == ' ');
        }
        text_.append(line);
        consumed_ = end + 1;
        if (last) {
            status = status_;
            text = std::move(text_);
            Reset();
            return Result::Complete;
        }
    }
}

std::string ReplyReader::Sample(size_t limit) const {
    std::string sample = buffer_.substr(consumed_, limit);
    for (char& c : sample)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return sample;
}

} // namespace zandrel::inet::detail
