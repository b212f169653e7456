#pragma once
// The settings as the options dialog edits them, and the one place that turns them into stored
// values and back. The dialog's Ok and the `zandrel options --set` command both save through
// SaveOptions, so a script stores exactly what the dialog would.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Error.h"
#include "settings/FtpTransport.h"
#include "settings/SettingNames.h"

namespace zandrel::settings {

// A value the store cannot take as given (a character the scrambling cannot carry, text that is
// not UTF-8). Raised before anything is written.
class OptionsValueError : public rtl::Error {
public:
    using rtl::Error::Error;
};

// The ports the dialog's spin box offers. FTP servers listen on ports of every size (10021,
// 40021), so the whole TCP range is open. 0 stays in the range because older settings files hold
// it, and the connection takes it as the default port, 21.
inline constexpr int32_t MinFTPPort = 0;
inline constexpr int32_t MaxFTPPort = 65535;

// One setting, in the order the store is written.
enum class OptionField {
    UserName,
    Password,
    Port,
    Security,
    KeyFile,
    Host,
    Directory,
    Passive,
    BaseUrl,
    Filters,
    To,
    CC,
    BCC,
    Subject,
    Body,
    AutoSend,
};

// Every setting as the dialog shows it; a new object holds the dialog's built-in defaults.
struct OptionsValues {
    std::string userName;
    std::string password; // plain text; scrambled only in the store
    int32_t port = DefaultFTPPort;
    FtpTransport transport = FtpTransport::Ftp;
    std::string keyFile; // a path; empty for the SSH agent and the usual keys
    std::string host;
    std::string directory;
    bool passive = false;
    std::string baseUrl;
    std::vector<std::string> filters{"*.pas", "*.dpk", "*.dpr", "*.res", "*.dfm"};
    std::string emailTo;
    std::string emailCC;
    std::string emailBCC;
    std::string emailSubject;
    std::string emailBody; // the memo's text: lines separated by "\n"
    bool emailAuto = false;
};

// Reads the user's store (creating the settings key when missing). Each stored value replaces its
// field; a value that is not stored leaves the field as it is. Returns the fields that were
// stored. Throws the store's errors (a damaged file, a value of the wrong type): the fields read
// before the fault keep their new contents. A transport word this version does not know throws
// StoredOptionError once every other field is read, the transport left as it was.
std::set<OptionField> LoadOptions(OptionsValues& values);

// Writes `fields` of `values` to the store in the store's order: user name and password scrambled,
// the base URL ending in "/", the filters upper-cased and joined by ";" (not written at all when
// that text is empty, so the stored filters stay), the body with every line ended by CR LF.
// The transport is written only where it changes something: plain FTP is not added to a store
// that has no transport value, and likewise an empty key file, so saving settings that never left
// plain FTP leaves the store as older versions wrote it.
// Everything is checked before the first value is written: a text the scrambling cannot carry, one
// that is not UTF-8, a host that HostSettingProblem refuses or a key file that
// KeyFileSettingProblem refuses throws OptionsValueError and nothing is written. A failed write throws the
// store's error; the values written before it stay written.
void SaveOptions(const OptionsValues& values, const std::set<OptionField>& fields);
// All fields, as the dialog's Ok saves them.
void SaveOptions(const OptionsValues& values);

// Why `host` cannot be the FTP host setting, or an empty string when it can. The setting holds a
// name or address alone: a port written into it ("ftp.example.org:2121", "[::1]:2121") or a
// pasted address ("ftp://ftp.example.org/pub") would be looked up as a name and fail at upload
// time; a bare IPv6 address ("::1") is fine.
// An address that names a transport ("sftp://host", "ftps://host", "ftpes://host") is refused too,
// with the advice to choose that transport as a setting of its own.
std::string HostSettingProblem(std::string_view host);

// Why `path` cannot be the SSH key file setting, or an empty string when it can: a path relative to
// no folder in particular would be looked up from wherever a command happens to run, so the
// setting takes a full path ("/...", or "~/..." in the home folder), or nothing.
std::string KeyFileSettingProblem(std::string_view path);

// The stored form of the filter list: entries upper-cased (ASCII letters only), joined by ";".
std::string StoredFilterText(const std::vector<std::string>& filters);
// The filter list a stored text stands for, cut with the runtime's delimited-text rule (";",
// blanks also separate, double quotes group).
std::vector<std::string> FiltersFromStoredText(std::string_view text);

// The stored form of the body: every line of the memo text, the last one too, followed by CR LF;
// an empty memo is the empty text.
std::string StoredBodyText(std::string_view memoText);
// The memo text a stored body stands for: lines cut at CR LF, LF or CR, joined by "\n"; the line
// break that ends the last line is not a line of its own.
std::string MemoTextFromStoredBody(std::string_view stored);

} // namespace zandrel::settings
