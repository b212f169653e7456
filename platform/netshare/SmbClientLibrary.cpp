#include "platform/netshare/SmbClientLibrary.h"

#include <dlfcn.h>

namespace zandrel::netshare::detail {
namespace {

struct Loaded {
    SmbClient functions{};
    std::string error; // empty when loaded
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function, std::string& error) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (!function && error.empty()) error = std::string("it has no ") + name;
    return function != nullptr;
}

Loaded Load() {
    Loaded loaded;
    // Never unloaded: its threads and its global state live until the program ends.
    void* library = ::dlopen(ZANDREL_SMBCLIENT_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = ::dlerror();
        loaded.error = std::string("the SMB client library could not be loaded (") + (error ? error : "unknown") +
                       "); install libsmbclient";
        return loaded;
    }
    SmbClient& f = loaded.functions;
    std::string& e = loaded.error;
    Resolve(library, "smbc_new_context", f.newContext, e);
    Resolve(library, "smbc_free_context", f.freeContext, e);
    Resolve(library, "smbc_init_context", f.initContext, e);
    Resolve(library, "smbc_setOptionUserData", f.setOptionUserData, e);
    Resolve(library, "smbc_getOptionUserData", f.getOptionUserData, e);
    Resolve(library, "smbc_setFunctionAuthDataWithContext", f.setFunctionAuthDataWithContext, e);
    Resolve(library, "smbc_setTimeout", f.setTimeout, e);
    Resolve(library, "smbc_setOptionNoAutoAnonymousLogin", f.setOptionNoAutoAnonymousLogin, e);
    Resolve(library, "smbc_setOptionUseKerberos", f.setOptionUseKerberos, e);
    Resolve(library, "smbc_setOptionFallbackAfterKerberos", f.setOptionFallbackAfterKerberos, e);
    Resolve(library, "smbc_getFunctionOpendir", f.getFunctionOpendir, e);
    Resolve(library, "smbc_getFunctionClosedir", f.getFunctionClosedir, e);
    Resolve(library, "smbc_getFunctionOpen", f.getFunctionOpen, e);
    Resolve(library, "smbc_getFunctionFstat", f.getFunctionFstat, e);
    Resolve(library, "smbc_getFunctionClose", f.getFunctionClose, e);
    Resolve(library, "smbc_getFunctionRead", f.getFunctionRead, e);
    if (!e.empty()) e = "the SMB client library " ZANDREL_SMBCLIENT_SONAME " is not usable: " + e;
    return loaded;
}

} // namespace

const SmbClient* LoadSmbClient(std::string& why) {
    static const Loaded loaded = Load();
    if (!loaded.error.empty()) {
        why = loaded.error;
        return nullptr;
    }
    return &loaded.functions;
}

} // namespace zandrel::netshare::detail
