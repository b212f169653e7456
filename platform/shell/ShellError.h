#pragma once
#include "platform/rtl/Error.h"

namespace zandrel::shell {

// A shell operation that could not be done (a folder not read, an archive not written).
class ShellError : public rtl::Error {
public:
    using rtl::Error::Error;
};

// A copy that ended because the person asked it to stop.
class CopyStopped : public ShellError {
public:
    CopyStopped() : ShellError("stopped") {}
};

} // namespace zandrel::shell
