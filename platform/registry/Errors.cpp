#include "platform/registry/Errors.h"

namespace zandrel::registry {

ValueNotFoundError::ValueNotFoundError(const std::string& valueName, const std::string& keyPath)
    : Error("Registry value '" + valueName + "' does not exist in key '" + keyPath + "'") {}

FormatError::FormatError(const std::string& fileName, size_t line, const std::string& problem)
    : Error("The settings file '" + fileName + "' is damaged at line " + std::to_string(line) + ": " + problem +
            ". Correct that line with a text editor, or move the file away (it is then started afresh with "
            "default settings). Nothing is saved to the file until then."),
      fileName_(fileName), line_(line), problem_(problem) {}

} // namespace zandrel::registry
