#include "platform/ssh/LibsshLibrary.h"

#include "platform/rtl/RuntimeLibrary.h"

namespace zandrel::ssh::detail {
namespace {

struct Loaded {
    Libssh functions{};
    std::string error; // empty when loaded
};

Loaded Load() {
    Loaded loaded;
    // Never unloaded: libssh and OpenSSL keep global state until the program ends.
    static rtl::RuntimeLibrary library(ZANDREL_LIBSSH_SONAME, "the SSH library", "install libssh-4 0.10 or later");
    Libssh& f = loaded.functions;
    library.Resolve("ssh_new", f.sshNew);
    library.Resolve("ssh_free", f.sshFree);
    library.Resolve("ssh_options_set", f.sshOptionsSet);
    library.Resolve("ssh_connect", f.sshConnect);
    library.Resolve("ssh_disconnect", f.sshDisconnect);
    library.Resolve("ssh_set_blocking", f.sshSetBlocking);
    library.Resolve("ssh_get_fd", f.sshGetFd);
    library.Resolve("ssh_get_poll_flags", f.sshGetPollFlags);
    library.Resolve("ssh_get_error", f.sshGetError);
    library.Resolve("ssh_get_error_code", f.sshGetErrorCode);
    library.Resolve("ssh_get_server_publickey", f.sshGetServerPublickey);
    library.Resolve("ssh_get_publickey_hash", f.sshGetPublickeyHash);
    library.Resolve("ssh_clean_pubkey_hash", f.sshCleanPubkeyHash);
    library.Resolve("ssh_get_fingerprint_hash", f.sshGetFingerprintHash);
    library.Resolve("ssh_string_free_char", f.sshStringFreeChar);
    library.Resolve("ssh_key_free", f.sshKeyFree);
    library.Resolve("ssh_key_type", f.sshKeyType);
    library.Resolve("ssh_key_type_to_char", f.sshKeyTypeToChar);
    library.Resolve("ssh_key_cmp", f.sshKeyCmp);
    library.Resolve("ssh_session_is_known_server", f.sshSessionIsKnownServer);
    library.Resolve("ssh_session_export_known_hosts_entry", f.sshSessionExportKnownHostsEntry);
    library.Resolve("ssh_known_hosts_parse_line", f.sshKnownHostsParseLine);
    library.Resolve("ssh_knownhosts_entry_free", f.sshKnownhostsEntryFree);
    library.Resolve("ssh_get_openssh_version", f.sshGetOpensshVersion);
    library.Resolve("ssh_userauth_none", f.sshUserauthNone);
    library.Resolve("ssh_userauth_list", f.sshUserauthList);
    library.Resolve("ssh_userauth_agent", f.sshUserauthAgent);
    library.Resolve("ssh_userauth_try_publickey", f.sshUserauthTryPublickey);
    library.Resolve("ssh_userauth_publickey", f.sshUserauthPublickey);
    library.Resolve("ssh_userauth_password", f.sshUserauthPassword);
    library.Resolve("ssh_userauth_kbdint", f.sshUserauthKbdint);
    library.Resolve("ssh_userauth_kbdint_getnprompts", f.sshUserauthKbdintGetnprompts);
    library.Resolve("ssh_userauth_kbdint_getprompt", f.sshUserauthKbdintGetprompt);
    library.Resolve("ssh_userauth_kbdint_setanswer", f.sshUserauthKbdintSetanswer);
    library.Resolve("ssh_pki_import_privkey_file", f.sshPkiImportPrivkeyFile);
    library.Resolve("ssh_pki_import_pubkey_file", f.sshPkiImportPubkeyFile);
    library.Resolve("ssh_channel_write", f.sshChannelWrite);
    library.Resolve("ssh_string_data", f.sshStringData);
    library.Resolve("ssh_string_len", f.sshStringLen);
    library.Resolve("ssh_channel_read_timeout", f.sshChannelReadTimeout);
    library.Resolve("sftp_new", f.sftpNew);
    library.Resolve("sftp_free", f.sftpFree);
    library.Resolve("sftp_init", f.sftpInit);
    library.Resolve("sftp_get_error", f.sftpGetError);
    library.Resolve("sftp_extension_supported", f.sftpExtensionSupported);
    library.Resolve("sftp_canonicalize_path", f.sftpCanonicalizePath);
    library.Resolve("sftp_stat", f.sftpStat);
    library.Resolve("sftp_lstat", f.sftpLstat);
    library.Resolve("sftp_attributes_free", f.sftpAttributesFree);
    library.Resolve("sftp_opendir", f.sftpOpendir);
    library.Resolve("sftp_readdir", f.sftpReaddir);
    library.Resolve("sftp_dir_eof", f.sftpDirEof);
    library.Resolve("sftp_closedir", f.sftpClosedir);
    library.Resolve("sftp_mkdir", f.sftpMkdir);
    library.Resolve("sftp_rmdir", f.sftpRmdir);
    library.Resolve("sftp_unlink", f.sftpUnlink);
    library.Resolve("sftp_rename", f.sftpRename);
    library.Resolve("sftp_open", f.sftpOpen);
    library.Resolve("sftp_fstat", f.sftpFstat);
    library.Resolve("ssh_is_connected", f.sshIsConnected);
    library.Resolve("sftp_close", f.sftpClose);
    library.Resolve("sftp_seek64", f.sftpSeek64);
    library.Resolve("sftp_async_read_begin", f.sftpAsyncReadBegin);
    library.Resolve("sftp_async_read", f.sftpAsyncRead);
    library.Resolve("sftp_write", f.sftpWrite);
    loaded.error = library.Error();
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
