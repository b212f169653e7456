#pragma once
// The root of the objects that can copy their published state from one another (items of the
// transfer list, entries of a listing). Assign from an unrelated kind of object is a no-op for
// the classes here, so callers may hand any object in.
namespace zandrel::webcopy {

class TPersistent {
public:
    virtual ~TPersistent();
    virtual void Assign(const TPersistent& Source);

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;
};

} // namespace zandrel::webcopy
