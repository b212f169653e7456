#pragma once
// Mail travels with CR LF line ends; programs that take local text (sendmail) want LF. The
// conversion runs over a message written in blocks, so a CR that ends one block waits to see
// whether the next begins with LF.
#include <cstddef>

namespace zandrel::mail {

class CrLfToLf {
public:
    // Converts `size` bytes into `out`, which has room for size + 1; returns the bytes written.
    size_t Convert(const char* in, size_t size, char* out);
    // What is still held back (a CR at the very end), into `out` with room for 1.
    size_t Finish(char* out);

private:
    bool heldCr_ = false;
};

} // namespace zandrel::mail
