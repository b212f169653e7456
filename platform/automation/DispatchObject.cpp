#include "platform/automation/DispatchObject.h"

#include "platform/automation/Errors.h"

namespace zandrel::automation {

bool SameMemberName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

void Object::SetProperty(std::string_view member, Variant) {
    throw UnknownMember(ClassName(), std::string(member), "not a writable property");
}

void DispatchObject::AddMethod(std::string name, size_t leastArgs, size_t mostArgs, Method method) {
    methods_.push_back({std::move(name), leastArgs, mostArgs, std::move(method)});
}

void DispatchObject::AddSetter(std::string name, Setter setter) {
    setters_.push_back({std::move(name), std::move(setter)});
}

Variant DispatchObject::Invoke(std::string_view member, std::vector<Variant> args) {
    for (auto& entry : methods_) {
        if (!SameMemberName(entry.name, member)) continue;
        if (args.size() < entry.leastArgs || args.size() > entry.mostArgs)
            throw BadArgumentCount(className_, entry.name, args.size(), entry.leastArgs, entry.mostArgs);
        try {
            return entry.method(args);
        } catch (const TypeMismatch& e) {
            // Say which call it was: a bare "expected a string" is no help in a late-bound script.
            throw TypeMismatch(className_ + "." + entry.name + ": " + e.what());
        }
    }
    throw UnknownMember(className_, std::string(member));
}

void DispatchObject::SetProperty(std::string_view member, Variant value) {
    for (auto& entry : setters_) {
        if (!SameMemberName(entry.name, member)) continue;
        try {
            entry.setter(std::move(value));
            return;
        } catch (const TypeMismatch& e) {
            throw TypeMismatch(className_ + "." + entry.name + ": " + e.what());
        }
    }
    throw UnknownMember(className_, std::string(member), "not a writable property");
}

} // namespace zandrel::automation
