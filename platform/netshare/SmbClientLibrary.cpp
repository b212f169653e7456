#include "platform/netshare/SmbClientLibrary.h"

#include "platform/rtl/RuntimeLibrary.h"

namespace zandrel::netshare::detail {
namespace {

struct Loaded {
    SmbClient functions{};
    std::string error; // empty when loaded
};

Loaded Load() {
    Loaded loaded;
    // Never unloaded: its threads and its global state live until the program ends.
    static rtl::RuntimeLibrary library(ZANDREL_SMBCLIENT_SONAME, "the SMB client library", "install libsmbclient");
    SmbClient& f = loaded.functions;
    library.Resolve("smbc_new_context", f.newContext);
    library.Resolve("smbc_free_context", f.freeContext);
    library.Resolve("smbc_init_context", f.initContext);
    library.Resolve("smbc_setOptionUserData", f.setOptionUserData);
    library.Resolve("smbc_getOptionUserData", f.getOptionUserData);
    library.Resolve("smbc_setFunctionAuthDataWithContext", f.setFunctionAuthDataWithContext);
    library.Resolve("smbc_setTimeout", f.setTimeout);
    library.Resolve("smbc_setOptionNoAutoAnonymousLogin", f.setOptionNoAutoAnonymousLogin);
    library.Resolve("smbc_setOptionUseKerberos", f.setOptionUseKerberos);
    library.Resolve("smbc_setOptionFallbackAfterKerberos", f.setOptionFallbackAfterKerberos);
    library.Resolve("smbc_getFunctionOpendir", f.getFunctionOpendir);
    library.Resolve("smbc_getFunctionClosedir", f.getFunctionClosedir);
    library.Resolve("smbc_getFunctionOpen", f.getFunctionOpen);
    library.Resolve("smbc_getFunctionFstat", f.getFunctionFstat);
    library.Resolve("smbc_getFunctionClose", f.getFunctionClose);
    library.Resolve("smbc_getFunctionRead", f.getFunctionRead);
    loaded.error = library.Error();
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
