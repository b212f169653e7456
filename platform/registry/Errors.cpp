#include "platform/registry/Errors.h"

namespace zandrel::registry {

TypeError::TypeError(const std::string& valueName, const std::string& storedType, const std::string& requestedType)
    : Error("Invalid data type for '" + valueName + "': stored as " + storedType + ", read as " + requestedType) {}

ValueNotFoundError::ValueNotFoundError(const std::string& valueName, const std::string& keyPath)
    : Error("Registry value '" + valueName + "' does not exist in key '" + keyPath + "'") {}

FormatError::FormatError(const std::string& fileName, size_t line, const std::string& problem)
    : Error(fileName + ", line " + std::to_string(line) + ": " + problem), fileName_(fileName), line_(line) {}

} // namespace zandrel::registry
