// HTTP download of one file (not written yet: reports failure).
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

bool TZandrelWebCopy::HttpGetFile(int, const std::string&, const std::string&, const std::string&,
                                  const std::string&, bool, TDateTime&, bool& NoNewVersion,
                                  TZandrelWebCopyAuthentication, const std::string&, const std::string&) {
    NoNewVersion = false;
    return false;
}

} // namespace zandrel::webcopy
