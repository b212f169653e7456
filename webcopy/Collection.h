#pragma once
// An ordered collection that owns its items: Add and Insert hand back the new item, reading an
// index gives the item, writing one assigns the given item's published state into the item
// already there (the item itself stays where it is, so references to it remain valid).
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Error.h"

namespace zandrel::webcopy {

template <class Item>
class TOwnedCollection {
public:
    TOwnedCollection() = default;
    TOwnedCollection(const TOwnedCollection&) = delete;
    TOwnedCollection& operator=(const TOwnedCollection&) = delete;
    virtual ~TOwnedCollection() = default;

    int Count() const { return static_cast<int>(items_.size()); }

    Item& Add() {
        items_.push_back(std::make_unique<Item>());
        return *items_.back();
    }
    // Index may equal Count (append).
    Item& Insert(int Index) {
        if (Index < 0 || Index > Count()) OutOfBounds(Index);
        auto it = items_.insert(items_.begin() + Index, std::make_unique<Item>());
        return **it;
    }
    Item& Items(int Index) { return *items_[Checked(Index)]; }
    const Item& Items(int Index) const { return *items_[Checked(Index)]; }
    Item& operator[](int Index) { return Items(Index); }
    const Item& operator[](int Index) const { return Items(Index); }
    void SetItem(int Index, const Item& Value) { items_[Checked(Index)]->Assign(Value); }

    void Delete(int Index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(Checked(Index))); }
    void Clear() { items_.clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    size_t Checked(int Index) const {
        if (Index < 0 || Index >= Count()) OutOfBounds(Index);
        return static_cast<size_t>(Index);
    }
    [[noreturn]] static void OutOfBounds(int Index) {
        throw rtl::Error("List index out of bounds (" + std::to_string(Index) + ")");
    }

    std::vector<std::unique_ptr<Item>> items_;
};

} // namespace zandrel::webcopy
