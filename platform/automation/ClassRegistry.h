#pragma once
// The process's table of automation classes, keyed by ProgID (compared without regard to case, as
// class names in the system registry are). A layer that provides a class registers a factory;
// callers create instances by name, or attach to an instance that registered itself as running.
#include <functional>
#include <string>
#include <string_view>

#include "platform/automation/Object.h"

namespace zandrel::automation {

using Factory = std::function<ObjectRef()>;

// Registers (or replaces) the factory for progId.
void RegisterClass(std::string progId, Factory factory);
// Removes the class; false when it was not registered.
bool UnregisterClass(std::string_view progId);
bool IsClassRegistered(std::string_view progId);

// A new instance from the class's factory. Raises ClassNotRegistered, or AutomationError when the
// factory gives nothing.
ObjectRef CreateObject(std::string_view progId);

// The running instance registered as active for progId. Raises NoActiveObject when there is none.
ObjectRef GetActiveObject(std::string_view progId);
// Announces a running instance, replacing any earlier one; the table holds it until revoked.
void RegisterActiveObject(std::string progId, ObjectRef object);
// False when none was registered.
bool RevokeActiveObject(std::string_view progId);

} // namespace zandrel::automation
