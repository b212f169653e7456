#include "platform/mail/LineEnds.h"

namespace zandrel::mail {

size_t CrLfToLf::Convert(const char* in, size_t size, char* out) {
    char* const start = out;
    const char* const end = in + size;
    if (heldCr_ && in != end) {
        heldCr_ = false;
        if (*in != '\n') *out++ = '\r';
    }
    for (; in != end; ++in) {
        if (*in == '\r') {
            if (in + 1 == end) {
                heldCr_ = true;
                break;
            }
            if (in[1] == '\n') continue;
        }
        *out++ = *in;
    }
    return static_cast<size_t>(out - start);
}

size_t CrLfToLf::Finish(char* out) {
    if (!heldCr_) return 0;
    heldCr_ = false;
    *out = '\r';
    return 1;
}

} // namespace zandrel::mail
