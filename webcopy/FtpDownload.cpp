// FTP download of one file and of every file matching a mask, and FTP listing (not written yet: reports failure).
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

bool TZandrelWebCopy::FtpGetFile(int, const std::string&, const std::string&, const std::string&, int32_t,
                                 const std::string&, const std::string&, const std::string&, bool, TDateTime&,
                                 bool& NoNewVersion, bool, bool) {
    NoNewVersion = false;
    return false;
}

bool TZandrelWebCopy::MultiFtpGetFile(int, const std::string&, const std::string&, const std::string&, int32_t,
                                      const std::string&, const std::string&, const std::string&, bool, TDateTime&,
                                      bool& NoNewVersion, bool) {
    NoNewVersion = false;
    return false;
}

bool TZandrelWebCopy::MultiFtpGetList(int, const std::string&, const std::string&, const std::string&, int32_t,
                                      const std::string&, const std::string&, const std::string&, bool, TDateTime&,
                                      bool& NoNewVersion, bool) {
    NoNewVersion = false;
    return false;
}

} // namespace zandrel::webcopy
