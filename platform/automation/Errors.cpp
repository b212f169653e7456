#include "platform/automation/Errors.h"

namespace zandrel::automation {

ClassNotRegistered::ClassNotRegistered(std::string progId)
    : AutomationError("Class not registered: \"" + progId + "\""), progId_(std::move(progId)) {}

NoActiveObject::NoActiveObject(std::string progId)
    : AutomationError("No running instance of \"" + progId + "\" is registered as active"),
      progId_(std::move(progId)) {}

UnknownMember::UnknownMember(const std::string& className, std::string member, const std::string& detail)
    : AutomationError("\"" + className + "\" has no member \"" + member + "\"" + (detail.empty() ? "" : ": " + detail)),
      member_(std::move(member)) {}

namespace {

std::string CountText(size_t least, size_t most) {
    if (least == most) return std::to_string(least);
    if (most == static_cast<size_t>(-1)) return "at least " + std::to_string(least);
    return std::to_string(least) + " to " + std::to_string(most);
}

} // namespace

BadArgumentCount::BadArgumentCount(const std::string& className, const std::string& member, size_t given,
                                   size_t least, size_t most)
    : AutomationError("\"" + className + "." + member + "\" takes " + CountText(least, most) + " argument(s), " +
                      std::to_string(given) + " given") {}

} // namespace zandrel::automation
