#pragma once
#include "platform/rtl/Error.h"

namespace zandrel::shell {

// A shell operation that could not be done (a folder not read, an archive not written).
class ShellError : public rtl::Error {
public:
    using rtl::Error::Error;
};

} // namespace zandrel::shell
