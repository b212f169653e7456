#pragma once
// Base classes for objects handed to the host as interfaces: the count starts at zero, the
// first holder takes it to one, and the last Release destroys the object.
#include <atomic>

#include "platform/toolsapi/Interfaces.h"

namespace zandrel::toolsapi {

class TInterfacedObject : public virtual IInterface {
public:
    TInterfacedObject() = default;
    TInterfacedObject(const TInterfacedObject&) = delete;
    TInterfacedObject& operator=(const TInterfacedObject&) = delete;
    virtual ~TInterfacedObject() = default;

    HRESULT QueryInterface(const TGUID& iid, void** object) override {
        if (iid == IInterface::IID) return Answer(static_cast<IInterface*>(this), object);
        *object = nullptr;
        return E_NOINTERFACE;
    }
    int AddRef() override { return ++refCount_; }
    int Release() override {
        const int left = --refCount_;
        if (left == 0) delete this;
        return left;
    }
    int RefCount() const { return refCount_; }

protected:
    template <class I>
    HRESULT Answer(I* self, void** object) {
        *object = self;
        AddRef();
        return S_OK;
    }

private:
    std::atomic<int> refCount_{0};
};

} // namespace zandrel::toolsapi
