#pragma once
// The component's ordered list of transfers. It knows its owning component, so that streaming
// and editors can find their way back from the list.
#include "webcopy/Collection.h"
#include "webcopy/WebCopyItem.h"

namespace zandrel::webcopy {

class TZandrelWebCopy;

class TZandrelWebCopyItems : public TOwnedCollection<TZandrelWebCopyItem> {
public:
    explicit TZandrelWebCopyItems(TZandrelWebCopy* Owner) : FOwner(Owner) {}

    TZandrelWebCopy* GetOwner() const { return FOwner; }
    // The number of items whose Active is true.
    int ActiveItems() const;
    // The number of items whose Success is true.
    int SuccessCount() const;

private:
    TZandrelWebCopy* FOwner;
};

} // namespace zandrel::webcopy
