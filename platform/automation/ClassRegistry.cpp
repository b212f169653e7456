#include "platform/automation/ClassRegistry.h"

#include <map>
#include <mutex>

#include "platform/automation/Errors.h"

namespace zandrel::automation {
namespace {

std::string FoldedKey(std::string_view progId) {
    std::string key(progId);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

struct Tables {
    std::mutex lock;
    std::map<std::string, Factory> classes;
    std::map<std::string, ObjectRef> active;
};

// Built on first use and never destroyed, so registrations made from other layers' start-up code
// and calls made while the process winds down both find it.
Tables& TheTables() {
    static Tables* tables = new Tables;
    return *tables;
}

} // namespace

void RegisterClass(std::string progId, Factory factory) {
    Tables& t = TheTables();
    std::lock_guard guard(t.lock);
    t.classes[FoldedKey(progId)] = std::move(factory);
}

bool UnregisterClass(std::string_view progId) {
    Tables& t = TheTables();
    std::lock_guard guard(t.lock);
    return t.classes.erase(FoldedKey(progId)) > 0;
}

bool IsClassRegistered(std::string_view progId) {
    Tables& t = TheTables();
    std::lock_guard guard(t.lock);
    return t.classes.count(FoldedKey(progId)) > 0;
}

ObjectRef CreateObject(std::string_view progId) {
    Factory factory;
    {
        Tables& t = TheTables();
        std::lock_guard guard(t.lock);
        auto it = t.classes.find(FoldedKey(progId));
        if (it == t.classes.end()) throw ClassNotRegistered(std::string(progId));
        factory = it->second;
    }
    // The factory runs unlocked: it may well create or look up other classes itself.
    ObjectRef object = factory ? factory() : nullptr;
    if (!object) throw AutomationError("The factory of \"" + std::string(progId) + "\" created no object");
    return object;
}

ObjectRef GetActiveObject(std::string_view progId) {
    Tables& t = TheTables();
    std::lock_guard guard(t.lock);
    auto it = t.active.find(FoldedKey(progId));
    if (it == t.active.end()) throw NoActiveObject(std::string(progId));
    return it->second;
}

void RegisterActiveObject(std::string progId, ObjectRef object) {
    if (!object) throw AutomationError("No object given to register as active for \"" + progId + "\"");
    Tables& t = TheTables();
    std::lock_guard guard(t.lock);
    t.active[FoldedKey(progId)] = std::move(object);
}

bool RevokeActiveObject(std::string_view progId) {
    ObjectRef released;
    Tables& t = TheTables();
    std::lock_guard guard(t.lock);
    auto it = t.active.find(FoldedKey(progId));
    if (it == t.active.end()) return false;
    released = std::move(it->second); // destroyed after the lock is let go
    t.active.erase(it);
    return true;
}

} // namespace zandrel::automation
