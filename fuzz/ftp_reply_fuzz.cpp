// The reply reader meets whatever a server sends on the control connection. Whatever the bytes
// and however the socket happens to split them, it must hand out the same replies, each a valid
// status with text within the bounds, and stop for good at the first violation.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/inet/ReplyReader.h"

using zandrel::inet::detail::ReplyReader;

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

struct Outcome {
    std::vector<std::pair<int, std::string>> replies;
    ReplyReader::Result last = ReplyReader::Result::NeedMore;
};

// Feeds `bytes` in pieces of the sizes `split` gives in turn (1..16 bytes; whole when empty).
Outcome Read(std::string_view bytes, std::string_view split) {
    ReplyReader reader;
    Outcome outcome;
    size_t turn = 0;
    while (!bytes.empty()) {
        size_t piece = bytes.size();
        if (!split.empty()) piece = static_cast<unsigned char>(split[turn++ % split.size()]) % 16 + 1;
        piece = std::min(piece, bytes.size());
        reader.Append(bytes.substr(0, piece));
        bytes.remove_prefix(piece);
        for (;;) {
            int status = 0;
            std::string text;
            outcome.last = reader.Next(status, text);
            if (outcome.last != ReplyReader::Result::Complete) break;
            if (status < 100 || status > 599) Fail("a reply with a status outside 100..599");
            if (text.size() > ReplyReader::kMaxReply) Fail("a reply longer than the bound");
            if (text.compare(0, 3, std::to_string(status)) != 0) Fail("a reply whose text does not start with its code");
            outcome.replies.emplace_back(status, std::move(text));
        }
        if (outcome.last != ReplyReader::Result::NeedMore) {
            // A violation is final.
            int status = 0;
            std::string text;
            if (reader.Next(status, text) != outcome.last) Fail("a violation that went away");
            return outcome;
        }
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes choose how the socket splits the rest.
    const size_t splitLength = size > 0 ? data[0] % 8 : 0;
    if (size < 1 + splitLength) return 0;
    const std::string_view split(reinterpret_cast<const char*>(data) + 1, splitLength);
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1 + splitLength, size - 1 - splitLength);

    const Outcome whole = Read(bytes, {});
    const Outcome pieces = Read(bytes, split.empty() ? std::string_view("\x01") : split);
    if (whole.replies != pieces.replies) Fail("the replies depend on how the bytes arrived");
    const bool wholeViolated = whole.last != ReplyReader::Result::NeedMore;
    const bool piecesViolated = pieces.last != ReplyReader::Result::NeedMore;
    // Fed in small pieces, the reader may notice an overlong line before the whole input is in,
    // but it must never accept what the whole input violates.
    if (wholeViolated && !piecesViolated) Fail("a violation missed when the bytes came in pieces");
    return 0;
}
