#pragma once
// A shared library loaded when it is first needed instead of when the program starts, and kept
// until the program ends (libraries such as libssh and libsmbclient keep global state and threads
// that cannot be unloaded). Its functions are looked up by name into a table of pointers.
#include <string>

namespace zandrel::rtl {

class RuntimeLibrary {
public:
    // Loads `soname`. When it cannot be, Error() says so in words that name `description` ("the
    // SSH library") and `install` (what to install: "install libssh-4").
    RuntimeLibrary(const char* soname, const std::string& description, const std::string& install);

    // Looks `name` up into `function`; the first name that is missing makes the library unusable
    // (Error() then names it).
    template <typename Function>
    void Resolve(const char* name, Function& function) {
        function = reinterpret_cast<Function>(Find(name));
    }
    // Empty when the library is loaded and had every function asked for; else why not.
    const std::string& Error() const { return error_; }

private:
    void* Find(const char* name);

    void* handle_ = nullptr;
    std::string soname_, description_, install_;
    std::string error_;
};

} // namespace zandrel::rtl
