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
// before the fault keep their new contents.
std::set<OptionField> LoadOptions(OptionsValues& values);

// Writes `fields` of `values` to the store in the store's order: user name and password scrambled,
// the base URL ending in "/", the filters upper-cased and joined by ";" (not written at all when
// that text is empty, so the stored filters stay), the body with every line ended by CR LF.
// Everything is checked before the first value is written: a text the scrambling cannot carry, one
// that is not UTF-8 or a host that HostSettingProblem refuses throws OptionsValueError and nothing
// is written. A failed write throws the
// store's error; the values written before it stay written.
void SaveOptions(const OptionsValues& values, const std::set<OptionField>& fields);
// All fields, as the dialog's Ok saves them.
void SaveOptions(const OptionsValues& values);

// Why `host` cannot be the FTP host setting, or an empty string when it can. The setting holds a
// name or address alone: a port written into it ("ftp.example.org:2121", "[::1]:2121") or a
// pasted address ("ftp://ftp.example.org/pub") would be looked up as a name and fail at upload
// time; a bare IPv6 address ("::1") is fine.
std::string HostSettingProblem(std::string_view host);

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
