#pragma once
// libssh, loaded the first time an SFTP session connects. The library and what it needs
// (OpenSSL's libcrypto, GSSAPI, zlib) take a while to load and relocate, which every program
// with the transfer component would otherwise pay at every start, whether it uses SFTP or not.
// Building needs only libssh's headers (libssh-dev); running needs libssh-4 once SFTP is used.
#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <string>

namespace zandrel::ssh::detail {

// The library's functions this layer calls.
struct Libssh {
    decltype(&ssh_new) sshNew;
    decltype(&ssh_free) sshFree;
    decltype(&ssh_options_set) sshOptionsSet;
    decltype(&ssh_connect) sshConnect;
    decltype(&ssh_disconnect) sshDisconnect;
    decltype(&ssh_set_blocking) sshSetBlocking;
    decltype(&ssh_get_fd) sshGetFd;
    decltype(&ssh_get_poll_flags) sshGetPollFlags;
    decltype(&ssh_get_error) sshGetError;
    decltype(&ssh_get_error_code) sshGetErrorCode;
    decltype(&ssh_get_server_publickey) sshGetServerPublickey;
    decltype(&ssh_get_publickey_hash) sshGetPublickeyHash;
    decltype(&ssh_clean_pubkey_hash) sshCleanPubkeyHash;
    decltype(&ssh_get_fingerprint_hash) sshGetFingerprintHash;
    decltype(&ssh_string_free_char) sshStringFreeChar;
    decltype(&ssh_key_free) sshKeyFree;
    decltype(&ssh_key_type) sshKeyType;
    decltype(&ssh_key_type_to_char) sshKeyTypeToChar;
    decltype(&ssh_key_cmp) sshKeyCmp;
    decltype(&ssh_session_is_known_server) sshSessionIsKnownServer;
    decltype(&ssh_session_export_known_hosts_entry) sshSessionExportKnownHostsEntry;
    decltype(&ssh_known_hosts_parse_line) sshKnownHostsParseLine;
    decltype(&ssh_knownhosts_entry_free) sshKnownhostsEntryFree;
    decltype(&ssh_get_openssh_version) sshGetOpensshVersion;
    decltype(&ssh_userauth_none) sshUserauthNone;
    decltype(&ssh_userauth_list) sshUserauthList;
    decltype(&ssh_userauth_agent) sshUserauthAgent;
    decltype(&ssh_userauth_try_publickey) sshUserauthTryPublickey;
    decltype(&ssh_userauth_publickey) sshUserauthPublickey;
    decltype(&ssh_userauth_password) sshUserauthPassword;
    decltype(&ssh_userauth_kbdint) sshUserauthKbdint;
    decltype(&ssh_userauth_kbdint_getnprompts) sshUserauthKbdintGetnprompts;
    decltype(&ssh_userauth_kbdint_getprompt) sshUserauthKbdintGetprompt;
    decltype(&ssh_userauth_kbdint_setanswer) sshUserauthKbdintSetanswer;
    decltype(&ssh_pki_import_privkey_file) sshPkiImportPrivkeyFile;
    decltype(&ssh_pki_import_pubkey_file) sshPkiImportPubkeyFile;
    decltype(&ssh_channel_write) sshChannelWrite;
    decltype(&ssh_string_data) sshStringData;
    decltype(&ssh_string_len) sshStringLen;
    decltype(&ssh_channel_read_timeout) sshChannelReadTimeout;
    decltype(&sftp_new) sftpNew;
    decltype(&sftp_free) sftpFree;
    decltype(&sftp_init) sftpInit;
    decltype(&sftp_get_error) sftpGetError;
    decltype(&sftp_extension_supported) sftpExtensionSupported;
    decltype(&sftp_canonicalize_path) sftpCanonicalizePath;
    decltype(&sftp_stat) sftpStat;
    decltype(&sftp_lstat) sftpLstat;
    decltype(&sftp_attributes_free) sftpAttributesFree;
    decltype(&sftp_opendir) sftpOpendir;
    decltype(&sftp_readdir) sftpReaddir;
    decltype(&sftp_dir_eof) sftpDirEof;
    decltype(&sftp_closedir) sftpClosedir;
    decltype(&sftp_mkdir) sftpMkdir;
    decltype(&sftp_rmdir) sftpRmdir;
    decltype(&sftp_unlink) sftpUnlink;
    decltype(&sftp_rename) sftpRename;
    decltype(&sftp_open) sftpOpen;
    decltype(&sftp_fstat) sftpFstat;
    decltype(&ssh_is_connected) sshIsConnected;
    decltype(&sftp_close) sftpClose;
    decltype(&sftp_seek64) sftpSeek64;
    decltype(&sftp_async_read_begin) sftpAsyncReadBegin;
    decltype(&sftp_async_read) sftpAsyncRead;
    decltype(&sftp_write) sftpWrite;
};

// The library, loaded on the first call and kept until the program ends; null with `why` (what to
// install) when it cannot be loaded. Safe to call from any thread.
const Libssh* LoadLibssh(std::string& why);

} // namespace zandrel::ssh::detail
