#include "host/PackageLoader.h"

#include <dlfcn.h>

#include "platform/rtl/Error.h"
#include "platform/rtl/Utf16.h"

namespace zandrel::host {
namespace {

template <class Fn>
Fn Entry(void* handle, const char* name) {
    void* symbol = dlsym(handle, name);
    if (!symbol) throw rtl::Error(std::string("the package lacks its entry ") + name);
    return reinterpret_cast<Fn>(symbol);
}

using TextFn = const char* (*)();
using VoidFn = void (*)();
using DescriptionFn = const char16_t* (*)();

} // namespace

LoadedPackage::LoadedPackage(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        throw rtl::Error("cannot load package " + path + ": " + (why ? why : "unknown error"));
    }
    try {
        Entry<VoidFn>(handle_, "ZandrelPackageInitialize")();
        Entry<TextFn>(handle_, "ZandrelPackageRegister");
        Entry<TextFn>(handle_, "ZandrelPackageFinalize");
    } catch (...) {
        dlclose(handle_);
        throw;
    }
}

LoadedPackage::~LoadedPackage() {
    Unload();
    dlclose(handle_);
}

std::string LoadedPackage::Description() const {
    const char16_t* text = Entry<DescriptionFn>(handle_, "ZandrelPackageDescription")();
    return text ? rtl::ToUtf8(text) : std::string();
}

std::string LoadedPackage::Register() {
    const char* error = Entry<TextFn>(handle_, "ZandrelPackageRegister")();
    return error ? error : "";
}

std::string LoadedPackage::Unload() {
    if (finalized_) return {};
    finalized_ = true;
    const char* error = Entry<TextFn>(handle_, "ZandrelPackageFinalize")();
    return error ? error : "";
}

} // namespace zandrel::host
