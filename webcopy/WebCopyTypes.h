#pragma once
// The transfer component's enumerations, event types and the error codes its routines report.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/rtl/DateTime.h"

namespace zandrel::ui {
class Form;
}

namespace zandrel::webcopy {

using rtl::TDateTime;

class TZandrelWebCopy;

// Which transfer routine an item is handed to. The ordinals are stored, so never reorder.
enum TZandrelWebCopyProtocol : uint8_t {
    wpHttp = 0,           // HTTP download of one file
    wpFtp = 1,            // FTP download of one file
    wpFile = 2,           // copy of one local or network file
    wpFtpUpload = 3,      // FTP upload of one file
    wpHttpUpload = 4,     // HTTP upload of one file (POST or PUT)
    wpMultiFtp = 5,       // FTP download of all files matching a mask
    wpMultiFtpUpload = 6, // FTP upload of all files matching a mask
    wpFtpDelete = 7,      // removal of one file on an FTP server
    wpFtpList = 8,        // listing of an FTP directory into the item's lists
    wpFtpTest = 9,        // FTP connection test
};

// The request method of an HTTP upload.
enum TZandrelWebCopyHTTPCommand : uint8_t { hcPost = 0, hcPut = 1 };

// When an HTTP download sends credentials.
enum TZandrelWebCopyAuthentication : uint8_t { waNever = 0, waAlways = 1, waAuto = 2 };

// What an FTP upload does when the server already has a file of its name: replace it (with the
// complete new file only), or go up under the next free name (Demo.zip, Demo_1.zip, Demo_2.zip,
// ...; the name taken is the item's StoredFilename after the run).
enum TZandrelWebCopyTargetExists : uint8_t { teReplace = 0, teNextFreeName = 1 };

// How an FTP item reaches its server: plain FTP; FTP over TLS, asked for with AUTH TLS on the
// control port (explicit) or spoken from the first byte (implicit, usually port 990); or the SSH
// file transfer protocol (usually port 22). The FTP items work alike over each.
enum TZandrelWebCopyFtpSecurity : uint8_t { fsNone = 0, fsFtpsExplicit = 1, fsFtpsImplicit = 2, fsSftp = 3 };

// Error codes carried by OnError and OnErrorInfo; the message text is the prefix below followed
// directly by the file or host concerned.
enum TZandrelWebCopyErrorCode : int {
    errIdenticalFiles = 0,
    errOpenSource = 1,
    errSourceLength = 2,
    errCreateTarget = 3,
    errReadSource = 4,
    errWriteTarget = 5,
    errConnect = 6,
};

inline constexpr const char* kMsgIdenticalFiles = "Cannot copy identical files ";
inline constexpr const char* kMsgOpenSource = "Cannot open source file ";
inline constexpr const char* kMsgSourceLength = "Zero length source file ";
inline constexpr const char* kMsgCreateTarget = "Cannot create target file ";
inline constexpr const char* kMsgCreateFile = "Cannot create file "; // the HTTP download's wording of code 3
inline constexpr const char* kMsgReadSource = "Error reading source file ";
inline constexpr const char* kMsgWriteTarget = "Error writing to destination file ";
inline constexpr const char* kMsgConnectFtp = "Cannot connect to FTP server ";
inline constexpr const char* kMsgConnectServer = "Cannot connect to server "; // the HTTP upload's wording of code 6

// Events. The sender (the component) comes first; a parameter taken by non-const reference is an
// in/out value the handler may change. An unset event is simply not called.
using TZandrelWebCopyBeforeDialogShow = std::function<void(TZandrelWebCopy& Sender, ui::Form& ADialog)>;
using TZandrelWebCopyConnectError = std::function<void(TZandrelWebCopy& Sender)>;
using TZandrelWebCopyCancel = std::function<void(TZandrelWebCopy& Sender)>;
using TZandrelWebCopyThreadDone = std::function<void(TZandrelWebCopy& Sender)>;
using TZandrelWebCopyOverwrite = std::function<void(TZandrelWebCopy& Sender, const std::string& tgtfile, bool& allow)>;
// size: bytes moved so far; totsize: bytes expected, 0 when not known. 64 bits: files beyond 4 GiB.
using TZandrelWebCopyProgress =
    std::function<void(TZandrelWebCopy& Sender, int fileidx, uint64_t size, uint64_t totsize)>;
using TZandrelWebCopyError = std::function<void(TZandrelWebCopy& Sender, int ErrorCode)>;
using TZandrelWebCopyErrorInfo =
    std::function<void(TZandrelWebCopy& Sender, int ErrorCode, const std::string& ErrorInfo)>;
using TZandrelWebCopyFileDone = std::function<void(TZandrelWebCopy& Sender, int idx)>;
using TZandrelWebCopyFileStart = std::function<void(TZandrelWebCopy& Sender, int idx)>;
using TZandrelWebCopyFileDateCheck =
    std::function<void(TZandrelWebCopy& Sender, int idx, TDateTime newdate, bool& allow)>;
using TZandrelWebCopyMultiFTPFileDone = std::function<void(TZandrelWebCopy& Sender, const std::string& Filename)>;
using TZandrelWebCopyURLNotFound = std::function<void(TZandrelWebCopy& Sender, const std::string& url)>;
using TZandrelWebCopyNoNewFile =
    std::function<void(TZandrelWebCopy& Sender, const std::string& tgtfile, TDateTime curdate, TDateTime newdate)>;
using TWebRemoveFileDone = std::function<void(TZandrelWebCopy& Sender, int idx)>;
using TWebRemoveFileFailed = std::function<void(TZandrelWebCopy& Sender, int idx)>;

} // namespace zandrel::webcopy
