// HTTP upload of one file with POST or PUT (not written yet: reports failure).
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

bool TZandrelWebCopy::HttpPutFile(const std::string&, const std::string&, const std::string&,
                                  TZandrelWebCopyHTTPCommand) {
    return false;
}

} // namespace zandrel::webcopy
