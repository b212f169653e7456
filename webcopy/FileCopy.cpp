// Copy of one local or network-share file (not written yet: reports failure).
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

bool TZandrelWebCopy::FileGetFile(int, const std::string&, const std::string&, const std::string&, int32_t,
                                  const std::string&, const std::string&, const std::string&, bool, TDateTime&,
                                  bool& NoNewVersion) {
    NoNewVersion = false;
    return false;
}

} // namespace zandrel::webcopy
