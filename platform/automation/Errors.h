#pragma once
// What late-bound calls raise. Every message names the class (ProgID) or member involved, because
// late binding is where a misspelt name would otherwise go unnoticed until run time.
#include <string>

#include "platform/rtl/Error.h"

namespace zandrel::automation {

class AutomationError : public rtl::Error {
public:
    using rtl::Error::Error;
};

// No factory is registered under the ProgID.
class ClassNotRegistered : public AutomationError {
public:
    explicit ClassNotRegistered(std::string progId);
    const std::string& progId() const { return progId_; }

private:
    std::string progId_;
};

// No running instance has been registered as active for the ProgID.
class NoActiveObject : public AutomationError {
public:
    explicit NoActiveObject(std::string progId);
    const std::string& progId() const { return progId_; }

private:
    std::string progId_;
};

// The object has no member of that name (or the member cannot be used that way).
class UnknownMember : public AutomationError {
public:
    UnknownMember(const std::string& className, std::string member, const std::string& detail = {});
    const std::string& member() const { return member_; }

private:
    std::string member_;
};

// A member was called with too few or too many arguments.
class BadArgumentCount : public AutomationError {
public:
    BadArgumentCount(const std::string& className, const std::string& member, size_t given, size_t least,
                     size_t most);
};

// A value does not have the type asked for (a Variant accessor, or an argument a member checks).
class TypeMismatch : public AutomationError {
public:
    using AutomationError::AutomationError;
};

} // namespace zandrel::automation
