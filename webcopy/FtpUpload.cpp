// FTP upload of one file and of every file matching a mask (not written yet: reports failure).
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

bool TZandrelWebCopy::FtpPutFile(int, const std::string&, const std::string&, const std::string&, int32_t,
                                 const std::string&, const std::string&, const std::string&, bool, TDateTime&,
                                 bool& NoNewVersion, bool) {
    NoNewVersion = false;
    return false;
}

bool TZandrelWebCopy::MultiFtpPutFile(int, const std::string&, const std::string&, const std::string&, int32_t,
                                      const std::string&, const std::string&, const std::string&, bool, TDateTime&,
                                      bool& NoNewVersion, bool) {
    NoNewVersion = false;
    return false;
}

} // namespace zandrel::webcopy
