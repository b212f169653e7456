// FTP connection test and removal of one remote file (not written yet: reports failure).
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

bool TZandrelWebCopy::FtpTest(int, const std::string&, const std::string&, const std::string&, int32_t) {
    return false;
}

bool TZandrelWebCopy::FtpRemoveFile(int, const std::string&, const std::string&, const std::string&, int32_t,
                                    const std::string&, const std::string&, const std::string&, bool) {
    return false;
}

} // namespace zandrel::webcopy
