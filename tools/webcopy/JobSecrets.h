#pragma once
// How a job's passwords reach it without being written in it, and a word about the ones that are.
//  - A password property (FTPPassword, HTTPPassword, ProxyPassword) may name an environment
//    variable instead of holding the password: {"env": "DEPLOY_PW"}.
//  - "Netrc": true at the top of the job lets FTP items that name a host but no password take
//    their login from ~/.netrc ($NETRC when set), as ftp(1) and curl do. Off by default: an item
//    without a password logs in anonymously, as it always has.
#include <string>

#include <nlohmann/json.hpp>

namespace zandrel::tools {

// Replaces the references in `job` by the passwords they name and removes "Netrc". Throws BadJob,
// naming the property, when a variable is not set or a reference is not of that form.
void ResolveJobSecrets(nlohmann::ordered_json& job, const std::string& source);

// The warning for a job file at `path` that holds a password written out and that other users
// may read ("... can be read by others (mode 0644); chmod 600 ..."); empty when none is due
// (standard input, a private file, no written password).
std::string ReadableSecretWarning(const nlohmann::ordered_json& job, const std::string& path);

} // namespace zandrel::tools
