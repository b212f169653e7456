#pragma once
// Errors of the per-user registry store. Each names what went wrong so that a user who reads the
// message can find the value or the line of the file at fault.
#include <cstddef>
#include <string>

#include "platform/rtl/Error.h"

namespace zandrel::registry {

// Base of everything the store raises (I/O failures, names it cannot hold, no such value).
class Error : public rtl::Error {
public:
    using rtl::Error::Error;
};

// A value was read with the reader of another type (a string read as a number, or the reverse).
class TypeError : public Error {
public:
    TypeError(const std::string& valueName, const std::string& storedType, const std::string& requestedType);
};

// A read of a value that the open key does not hold.
class ValueNotFoundError : public Error {
public:
    ValueNotFoundError(const std::string& valueName, const std::string& keyPath);
};

// The store's file does not follow the registry export format. The file is left as it is.
class FormatError : public Error {
public:
    FormatError(const std::string& fileName, size_t line, const std::string& problem);
    const std::string& fileName() const { return fileName_; }
    size_t line() const { return line_; }

private:
    std::string fileName_;
    size_t line_;
};

} // namespace zandrel::registry
