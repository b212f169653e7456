#include "ide/Package.h"

#include <exception>
#include <string>

#include "ide/Registration.h"
#include "resources/StringTable.h"

namespace {

std::string g_lastError;

template <class Fn>
const char* Guarded(Fn fn) {
    try {
        fn();
        return nullptr;
    } catch (const std::exception& e) {
        g_lastError = e.what();
    } catch (...) {
        g_lastError = "unknown error";
    }
    return g_lastError.c_str();
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) const char16_t* ZandrelPackageDescription() {
    return zandrel::resources::PackageDescription();
}

__attribute__((visibility("default"))) void ZandrelPackageInitialize() { zandrel::ide::InitializeModule(); }

__attribute__((visibility("default"))) const char* ZandrelPackageRegister() {
    return Guarded([] { zandrel::ide::Register(); });
}

__attribute__((visibility("default"))) const char* ZandrelPackageFinalize() {
    return Guarded([] { zandrel::ide::FinalizeModule(); });
}
}
