#pragma once
// Where an FTP item connects and how: its FTPHost may carry the transport as a prefix, the way
// FileZilla reads host names ("sftp://host", "ftps://host", "ftpes://host", "ftp://host"), and
// each transport has a default port of its own.
#include <cstdint>
#include <string>

#include "webcopy/WebCopyTypes.h"

namespace zandrel::webcopy {

struct FtpEndpoint {
    std::string host; // without the prefix
    int32_t port = 21;
    TZandrelWebCopyFtpSecurity security = fsNone;
};

// The default port of a transport: 21, 990 for implicit TLS, 22 for SFTP.
int32_t DefaultFtpPort(TZandrelWebCopyFtpSecurity security);

// The endpoint of an item's FTPHost, FTPPort and FTPSecurity. A prefix names the transport when
// FTPSecurity is fsNone; one that names another transport than FTPSecurity does is refused. A port
// of 21 (the item's default) or 0 is the transport's default port. After a prefix the host may
// end in ":port" (used when FTPPort is 21 or the same) and "/". Empty `problem` when the endpoint
// is usable; else why not, in words.
FtpEndpoint ResolveFtpEndpoint(const std::string& host, int32_t port, TZandrelWebCopyFtpSecurity security,
                               std::string& problem);

} // namespace zandrel::webcopy
