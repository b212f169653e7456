#pragma once
// Reference-counted interfaces in the host's object model: every interface starts with
// QueryInterface, AddRef and Release, and further operations follow in the order that the host
// and the package agree on (a C++ class's virtual functions keep declaration order).
#include <compare>
#include <cstdint>
#include <string_view>
#include <utility>

namespace zandrel::toolsapi {

struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0, D3 = 0;
    uint8_t D4[8] = {};
    friend bool operator==(const TGUID&, const TGUID&) = default;
};

// Parses "{B142EF92-0A91-4614-A72A-CE46F9C88B7B}" at compile time.
consteval TGUID Guid(std::string_view text) {
    auto hex = [&](size_t pos, size_t digits) {
        uint64_t v = 0;
        for (size_t i = 0; i < digits; ++i) {
            const char c = text[pos + i];
            v = v * 16 + static_cast<uint64_t>(c >= '0' && c <= '9'   ? c - '0'
                                               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                      : throw "bad GUID digit");
        }
        return v;
    };
    if (text.size() != 38 || text[0] != '{' || text[37] != '}') throw "bad GUID";
    TGUID g;
    g.D1 = static_cast<uint32_t>(hex(1, 8));
    g.D2 = static_cast<uint16_t>(hex(10, 4));
    g.D3 = static_cast<uint16_t>(hex(15, 4));
    g.D4[0] = static_cast<uint8_t>(hex(20, 2));
    g.D4[1] = static_cast<uint8_t>(hex(22, 2));
    for (size_t i = 0; i < 6; ++i) g.D4[2 + i] = static_cast<uint8_t>(hex(25 + 2 * i, 2));
    return g;
}

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);

class IInterface {
public:
    static constexpr TGUID IID = Guid("{00000000-0000-0000-C000-000000000046}");
    virtual HRESULT QueryInterface(const TGUID& iid, void** object) = 0;
    virtual int AddRef() = 0;
    virtual int Release() = 0;

protected:
    ~IInterface() = default; // only Release destroys
};

// Holds one reference; copies add one, destruction releases it.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on `p`.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.get())) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }

    // Asks `from` for interface I; empty when it does not support it.
    template <class From>
    static ComPtr Query(From* from) {
        ComPtr out;
        void* raw = nullptr;
        if (from && from->QueryInterface(T::IID, &raw) == S_OK) out.p_ = static_cast<T*>(raw);
        return out;
    }
    template <class From>
    static ComPtr Query(const ComPtr<From>& from) {
        return Query(from.get());
    }

private:
    T* p_ = nullptr;
};

} // namespace zandrel::toolsapi
