#include "platform/ssh/LibsshLibrary.h"

#include <dlfcn.h>

namespace zandrel::ssh::detail {
namespace {

struct Loaded {
    Libssh functions{};
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
    // Never unloaded: libssh and OpenSSL keep global state until the program ends.
    void* library = ::dlopen(ZANDREL_LIBSSH_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = ::dlerror();
        loaded.error = std::string("the SSH library could not be loaded (") + (error ? error : "unknown") +
                       "); install libssh-4";
        return loaded;
    }
    Libssh& f = loaded.functions;
    std::string& e = loaded.error;
    Resolve(library, "ssh_new", f.sshNew, e);
    Resolve(library, "ssh_free", f.sshFree, e);
    Resolve(library, "ssh_options_set", f.sshOptionsSet, e);
    Resolve(library, "ssh_connect", f.sshConnect, e);
    Resolve(library, "ssh_disconnect", f.sshDisconnect, e);
    Resolve(library, "ssh_set_blocking", f.sshSetBlocking, e);
    Resolve(library, "ssh_get_fd", f.sshGetFd, e);
    Resolve(library, "ssh_get_poll_flags", f.sshGetPollFlags, e);
    Resolve(library, "ssh_get_error", f.sshGetError, e);
    Resolve(library, "ssh_get_error_code", f.sshGetErrorCode, e);
    Resolve(library, "ssh_get_server_publickey", f.sshGetServerPublickey, e);
    Resolve(library, "ssh_get_publickey_hash", f.sshGetPublickeyHash, e);
    Resolve(library, "ssh_clean_pubkey_hash", f.sshCleanPubkeyHash, e);
    Resolve(library, "ssh_get_fingerprint_hash", f.sshGetFingerprintHash, e);
    Resolve(library, "ssh_string_free_char", f.sshStringFreeChar, e);
    Resolve(library, "ssh_key_free", f.sshKeyFree, e);
    Resolve(library, "ssh_key_type", f.sshKeyType, e);
    Resolve(library, "ssh_key_type_to_char", f.sshKeyTypeToChar, e);
    Resolve(library, "ssh_key_cmp", f.sshKeyCmp, e);
    Resolve(library, "ssh_session_is_known_server", f.sshSessionIsKnownServer, e);
    Resolve(library, "ssh_session_export_known_hosts_entry", f.sshSessionExportKnownHostsEntry, e);
    Resolve(library, "ssh_known_hosts_parse_line", f.sshKnownHostsParseLine, e);
    Resolve(library, "ssh_knownhosts_entry_free", f.sshKnownhostsEntryFree, e);
    Resolve(library, "ssh_get_openssh_version", f.sshGetOpensshVersion, e);
    Resolve(library, "ssh_userauth_none", f.sshUserauthNone, e);
    Resolve(library, "ssh_userauth_list", f.sshUserauthList, e);
    Resolve(library, "ssh_userauth_agent", f.sshUserauthAgent, e);
    Resolve(library, "ssh_userauth_try_publickey", f.sshUserauthTryPublickey, e);
    Resolve(library, "ssh_userauth_publickey", f.sshUserauthPublickey, e);
    Resolve(library, "ssh_userauth_password", f.sshUserauthPassword, e);
    Resolve(library, "ssh_userauth_kbdint", f.sshUserauthKbdint, e);
    Resolve(library, "ssh_userauth_kbdint_getnprompts", f.sshUserauthKbdintGetnprompts, e);
    Resolve(library, "ssh_userauth_kbdint_getprompt", f.sshUserauthKbdintGetprompt, e);
    Resolve(library, "ssh_userauth_kbdint_setanswer", f.sshUserauthKbdintSetanswer, e);
    Resolve(library, "ssh_pki_import_privkey_file", f.sshPkiImportPrivkeyFile, e);
    Resolve(library, "ssh_pki_import_pubkey_file", f.sshPkiImportPubkeyFile, e);
    Resolve(library, "ssh_channel_write", f.sshChannelWrite, e);
    Resolve(library, "ssh_string_data", f.sshStringData, e);
    Resolve(library, "ssh_string_len", f.sshStringLen, e);
    Resolve(library, "ssh_channel_read_timeout", f.sshChannelReadTimeout, e);
    Resolve(library, "sftp_new", f.sftpNew, e);
    Resolve(library, "sftp_free", f.sftpFree, e);
    Resolve(library, "sftp_init", f.sftpInit, e);
    Resolve(library, "sftp_get_error", f.sftpGetError, e);
    Resolve(library, "sftp_extension_supported", f.sftpExtensionSupported, e);
    Resolve(library, "sftp_canonicalize_path", f.sftpCanonicalizePath, e);
    Resolve(library, "sftp_stat", f.sftpStat, e);
    Resolve(library, "sftp_lstat", f.sftpLstat, e);
    Resolve(library, "sftp_attributes_free", f.sftpAttributesFree, e);
    Resolve(library, "sftp_opendir", f.sftpOpendir, e);
    Resolve(library, "sftp_readdir", f.sftpReaddir, e);
    Resolve(library, "sftp_dir_eof", f.sftpDirEof, e);
    Resolve(library, "sftp_closedir", f.sftpClosedir, e);
    Resolve(library, "sftp_mkdir", f.sftpMkdir, e);
    Resolve(library, "sftp_rmdir", f.sftpRmdir, e);
    Resolve(library, "sftp_unlink", f.sftpUnlink, e);
    Resolve(library, "sftp_rename", f.sftpRename, e);
    Resolve(library, "sftp_open", f.sftpOpen, e);
    Resolve(library, "sftp_fstat", f.sftpFstat, e);
    Resolve(library, "ssh_is_connected", f.sshIsConnected, e);
    Resolve(library, "sftp_close", f.sftpClose, e);
    Resolve(library, "sftp_seek64", f.sftpSeek64, e);
    Resolve(library, "sftp_async_read_begin", f.sftpAsyncReadBegin, e);
    Resolve(library, "sftp_async_read", f.sftpAsyncRead, e);
    Resolve(library, "sftp_write", f.sftpWrite, e);
    if (!e.empty()) e = "the SSH library " ZANDREL_LIBSSH_SONAME " is not usable: " + e + "; install libssh-4 0.10 or later";
    return loaded;
}

} // namespace

const Libssh* LoadLibssh(std::string& why) {
    static const Loaded loaded = Load();
    if (!loaded.error.empty()) {
        why = loaded.error;
        return nullptr;
    }
    return &loaded.functions;
}

} // namespace zandrel::ssh::detail
