#include "webcopy/FileDetailItems.h"

namespace zandrel::webcopy {

void TFileDetailItem::Assign(const TPersistent& Source) {
    if (const auto* other = dynamic_cast<const TFileDetailItem*>(&Source)) {
        FileAttributes = other->FileAttributes;
        Filename = other->Filename;
        FileSizeLow = other->FileSizeLow;
        FileSizeHigh = other->FileSizeHigh;
        FileDate = other->FileDate;
    }
}

} // namespace zandrel::webcopy
