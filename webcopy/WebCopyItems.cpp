#include "webcopy/WebCopyItems.h"

namespace zandrel::webcopy {

int TZandrelWebCopyItems::ActiveItems() const {
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (Items(i).Active) ++n;
    return n;
}

int TZandrelWebCopyItems::SuccessCount() const {
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (Items(i).Success()) ++n;
    return n;
}

} // namespace zandrel::webcopy
