#include "platform/inet/Handles.h"

#include <algorithm>
#include <unordered_map>

namespace zandrel::inet::detail {
namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<Handle>> live;
    // Numbers are never reused, so a stale number cannot reach a newer handle.
    uintptr_t nextNumber = 0x1000;
};

Table& TheTable() {
    static Table table;
    return table;
}

uintptr_t Key(HINTERNET handle) { return reinterpret_cast<uintptr_t>(handle); }

void CollectDeepestFirst(Table& table, HINTERNET handle, std::vector<std::shared_ptr<Handle>>& out) {
    const auto it = table.live.find(Key(handle));
    if (it == table.live.end()) return;
    std::shared_ptr<Handle> found = it->second;
    for (HINTERNET child : found->children) CollectDeepestFirst(table, child, out);
    found->children.clear();
    table.live.erase(it);
    out.push_back(std::move(found));
}

} // namespace

HINTERNET RegisterHandle(std::shared_ptr<Handle> handle, HINTERNET parent) {
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    const uintptr_t number = table.nextNumber;
    table.nextNumber += 4;
    HINTERNET self = reinterpret_cast<HINTERNET>(number);
    handle->self = self;
    handle->parent = parent;
    if (parent) {
        const auto it = table.live.find(Key(parent));
        if (it != table.live.end()) it->second->children.push_back(self);
    }
    table.live.emplace(number, std::move(handle));
    return self;
}

std::shared_ptr<Handle> LookupHandle(HINTERNET handle) {
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    const auto it = table.live.find(Key(handle));
    if (it == table.live.end()) throw Failure(ERROR_INVALID_HANDLE);
    return it->second;
}

std::vector<std::shared_ptr<Handle>> UnregisterTree(HINTERNET handle) {
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    std::vector<std::shared_ptr<Handle>> out;
    const auto it = table.live.find(Key(handle));
    if (it == table.live.end()) return out;
    const HINTERNET parent = it->second->parent;
    CollectDeepestFirst(table, handle, out);
    if (parent) {
        const auto p = table.live.find(Key(parent));
        if (p != table.live.end()) std::erase(p->second->children, handle);
    }
    return out;
}

} // namespace zandrel::inet::detail
