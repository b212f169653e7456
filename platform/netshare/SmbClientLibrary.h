#pragma once
// libsmbclient, loaded the first time a share is used. The library and the ninety-odd libraries
// it needs take about 50 ms to load and relocate, which every start of every program with the
// transfer component would otherwise pay, whether it copies from a share or not.
#include <libsmbclient.h>

#include <string>

namespace zandrel::netshare::detail {

// The library's functions this layer calls.
struct SmbClient {
    decltype(&smbc_new_context) newContext;
    decltype(&smbc_free_context) freeContext;
    decltype(&smbc_init_context) initContext;
    decltype(&smbc_setOptionUserData) setOptionUserData;
    decltype(&smbc_getOptionUserData) getOptionUserData;
    decltype(&smbc_setFunctionAuthDataWithContext) setFunctionAuthDataWithContext;
    decltype(&smbc_setTimeout) setTimeout;
    decltype(&smbc_setOptionNoAutoAnonymousLogin) setOptionNoAutoAnonymousLogin;
    decltype(&smbc_setOptionUseKerberos) setOptionUseKerberos;
    decltype(&smbc_setOptionFallbackAfterKerberos) setOptionFallbackAfterKerberos;
    decltype(&smbc_getFunctionOpendir) getFunctionOpendir;
    decltype(&smbc_getFunctionClosedir) getFunctionClosedir;
    decltype(&smbc_getFunctionOpen) getFunctionOpen;
    decltype(&smbc_getFunctionFstat) getFunctionFstat;
    decltype(&smbc_getFunctionClose) getFunctionClose;
    decltype(&smbc_getFunctionRead) getFunctionRead;
};

// The library, loaded on the first call and kept until the program ends; null with `why` (what to
// install) when it cannot be loaded. Safe to call from any thread.
const SmbClient* LoadSmbClient(std::string& why);

} // namespace zandrel::netshare::detail
