#pragma once
// An automation object as a late-bound caller sees it: members are reached by name at run time,
// with the arguments packed as Variants. Names compare without regard to case, as IDispatch
// compares them. Objects are shared: a reference handed out keeps the object alive.
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Variant.h"

namespace zandrel::automation {

class Object {
public:
    virtual ~Object() = default;

    // Calls a method or reads a property. Raises UnknownMember, BadArgumentCount or TypeMismatch.
    virtual Variant Invoke(std::string_view member, std::vector<Variant> args) = 0;
    // Writes a property ("item.To = ..."). Objects without writable properties refuse.
    virtual void SetProperty(std::string_view member, Variant value);
    // The ProgID or interface name used in messages.
    virtual std::string ClassName() const = 0;
};

// True when two member names are the same name, ignoring the case of ASCII letters.
bool SameMemberName(std::string_view a, std::string_view b);

} // namespace zandrel::automation
