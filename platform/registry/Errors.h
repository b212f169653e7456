#pragma once
// Errors of the per-user registry store. Each names what went wrong so that a user who reads the
// message can find the value or the line of the file at fault, and says how to put it right.
#include <cstddef>
#include <string>

#include "platform/rtl/Error.h"

namespace zandrel::registry {

// Base of everything the store raises (I/O failures, names it cannot hold, no such value).
class Error : public rtl::Error {
public:
    using rtl::Error::Error;
};

// A value was read with the reader of another type (a string read as a number, or the reverse),
// or a number does not have a number's size. The message names the file, the line, the value,
// the type it must have and how to write it.
class TypeError : public Error {
public:
    using Error::Error;
};

// A read of a value that the open key does not hold.
class ValueNotFoundError : public Error {
public:
    ValueNotFoundError(const std::string& valueName, const std::string& keyPath);
};

// The store's file does not follow the registry export format. The file is left as it is, and
// the message says how to mend it.
class FormatError : public Error {
public:
    FormatError(const std::string& fileName, size_t line, const std::string& problem);
    const std::string& fileName() const { return fileName_; }
    size_t line() const { return line_; }
    const std::string& problem() const { return problem_; }

private:
    std::string fileName_;
    size_t line_;
    std::string problem_;
};

// A change could not be saved (the folder or the file cannot be written, the disk is full, ...).
// The file on disk is as it was before the change.
class WriteError : public Error {
public:
    using Error::Error;
};

} // namespace zandrel::registry
