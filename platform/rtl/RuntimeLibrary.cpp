#include "platform/rtl/RuntimeLibrary.h"

#include <dlfcn.h>

namespace zandrel::rtl {

RuntimeLibrary::RuntimeLibrary(const char* soname, const std::string& description, const std::string& install)
    : soname_(soname), description_(description), install_(install) {
    handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = ::dlerror();
        error_ = description_ + " could not be loaded (" + (why ? why : "unknown") + "); " + install_;
    }
}

void* RuntimeLibrary::Find(const char* name) {
    if (!handle_) return nullptr;
    void* found = ::dlsym(handle_, name);
    if (!found && error_.empty())
        error_ = description_ + " " + soname_ + " is not usable: it has no " + name + "; " + install_;
    return found;
}

} // namespace zandrel::rtl
