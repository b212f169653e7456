#include "host/OptionsCommand.h"

#include <termios.h>
#include <unistd.h>

#include <charconv>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>

#include "platform/rtl/Utf16.h"
#include "settings/OptionsStore.h"

namespace zandrel::host {
namespace {

using settings::OptionField;
using settings::OptionsValues;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A password longer than this is a mistake (a file piped in by accident), not a password.
constexpr size_t kMaxPasswordBytes = 4096;

enum class Kind { Text, Port, YesNo, Filters, Password, Transport, Path };

struct Setting {
    const char* name;
    OptionField field;
    Kind kind;
};

// In the order --show prints them.
constexpr Setting kSettings[] = {
    {"host", OptionField::Host, Kind::Text},
    {"port", OptionField::Port, Kind::Port},
    {"security", OptionField::Security, Kind::Transport},
    {"username", OptionField::UserName, Kind::Text},
    {"password", OptionField::Password, Kind::Password},
    {"keyfile", OptionField::KeyFile, Kind::Path},
    {"directory", OptionField::Directory, Kind::Text},
    {"passive", OptionField::Passive, Kind::YesNo},
    {"baseurl", OptionField::BaseUrl, Kind::Text},
    {"filters", OptionField::Filters, Kind::Filters},
    {"to", OptionField::To, Kind::Text},
    {"cc", OptionField::CC, Kind::Text},
    {"bcc", OptionField::BCC, Kind::Text},
    {"subject", OptionField::Subject, Kind::Text},
    {"body", OptionField::Body, Kind::Text},
    {"autosend", OptionField::AutoSend, Kind::YesNo},
};

std::string ValidNames() {
    std::string names;
    for (const Setting& s : kSettings) names += std::string(names.empty() ? "" : ", ") + s.name;
    return names + " (the password only through --password-stdin)";
}

const Setting* FindSetting(std::string_view name) {
    for (const Setting& s : kSettings)
        if (rtl::SameTextAscii(s.name, name)) return &s;
    return nullptr;
}

std::string* TextOf(OptionsValues& values, OptionField field) {
    switch (field) {
    case OptionField::Host: return &values.host;
    case OptionField::UserName: return &values.userName;
    case OptionField::Password: return &values.password;
    case OptionField::KeyFile: return &values.keyFile;
    case OptionField::Directory: return &values.directory;
    case OptionField::BaseUrl: return &values.baseUrl;
    case OptionField::To: return &values.emailTo;
    case OptionField::CC: return &values.emailCC;
    case OptionField::BCC: return &values.emailBCC;
    case OptionField::Subject: return &values.emailSubject;
    case OptionField::Body: return &values.emailBody;
    default: return nullptr;
    }
}

bool* FlagOf(OptionsValues& values, OptionField field) {
    return field == OptionField::Passive ? &values.passive : field == OptionField::AutoSend ? &values.emailAuto : nullptr;
}

// One value a line: a backslash is written "\\", a line break "\n", a carriage return "\r", a tab
// "\t". --set reads the same escapes back; a backslash before any other character is itself.
std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            const char* decoded = next == '\\' ? "\\" : next == 'n' ? "\n" : next == 'r' ? "\r" : next == 't' ? "\t" : nullptr;
            if (decoded) {
                out += decoded;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

int Usage(std::FILE* err, const std::string& message, bool listNames = true) {
    std::fprintf(err, "zandrel: options: %s\n", message.c_str());
    if (listNames) std::fprintf(err, "Valid names: %s.\n", ValidNames().c_str());
    std::fputs("Try 'zandrel --help' for more information.\n", err);
    return kExitUsage;
}

int Failed(std::FILE* err, const std::string& message) {
    std::fprintf(err, "zandrel: %s\n", message.c_str());
    return kExitFailed;
}

int Show(std::FILE* out, std::FILE* err) {
    OptionsValues values;
    // What the commands work with: filters that are not stored are no filters.
    values.filters.clear();
    std::set<OptionField> stored;
    try {
        stored = settings::LoadOptions(values);
    } catch (const std::exception& e) {
        return Failed(err, e.what());
    }
    for (const Setting& s : kSettings) {
        std::string shown;
        switch (s.kind) {
        case Kind::Text:
        case Kind::Path: shown = *TextOf(values, s.field); break;
        case Kind::Transport: shown = settings::TransportWord(values.transport); break;
        case Kind::Port: shown = std::to_string(values.port); break;
        case Kind::YesNo: shown = *FlagOf(values, s.field) ? "yes" : "no"; break;
        case Kind::Filters: shown = settings::StoredFilterText(values.filters); break;
        case Kind::Password:
            shown = stored.count(OptionField::Password) && !values.password.empty() ? "********" : "(not set)";
            break;
        }
        std::fprintf(out, "%s=%s\n", s.name, Escape(shown).c_str());
    }
    std::fflush(out);
    return kExitOk;
}

// One line from `in`, without its line end; nullopt when it is too long.
std::optional<std::string> ReadPassword(std::FILE* in, std::FILE* err) {
    const int fd = fileno(in);
    termios saved{};
    const bool terminal = fd >= 0 && isatty(fd) && tcgetattr(fd, &saved) == 0;
    if (terminal) {
        std::fputs("Password: ", err);
        std::fflush(err);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    bool tooLong = false;
    for (int c; (c = std::fgetc(in)) != EOF && c != '\n';) {
        if (line.size() >= kMaxPasswordBytes) tooLong = true;
        else line += static_cast<char>(c);
    }
    if (terminal) {
        tcsetattr(fd, TCSAFLUSH, &saved);
        std::fputs("\n", err);
    }
    if (tooLong) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

} // namespace

bool IsOptionsScriptArgument(std::string_view arg) {
    return arg == "--show" || arg == "--set" || arg == "--password-stdin";
}

int RunOptionsScript(const std::vector<std::string>& args, std::FILE* in, std::FILE* out, std::FILE* err) {
    bool show = false, passwordFromInput = false, setting = false;
    std::map<const Setting*, std::string> assignments;
    std::vector<const Setting*> order;
    for (const std::string& arg : args) {
        if (arg == "--show") {
            show = true;
            setting = false;
        } else if (arg == "--password-stdin") {
            passwordFromInput = true;
        } else if (arg == "--set") {
            setting = true;
        } else if (!setting) {
            return Usage(err, "unexpected argument '" + arg + "'; settings are given as --set NAME=VALUE");
        } else {
            const size_t equals = arg.find('=');
            if (equals == std::string::npos) return Usage(err, "'" + arg + "' is not NAME=VALUE");
            const std::string name = arg.substr(0, equals);
            const Setting* s = FindSetting(name);
            if (!s) return Usage(err, "no setting is named '" + name + "'");
            // An empty password reveals nothing: that is how a script clears the stored one.
            if (s->kind == Kind::Password && equals + 1 != arg.size())
                return Usage(err,
                             "the password is not taken from the command line, where other users and the shell's "
                             "history can see it; use --password-stdin and give it on standard input",
                             false);
            if (!assignments.count(s)) order.push_back(s);
            assignments[s] = Unescape(std::string_view(arg).substr(equals + 1));
        }
    }
    if (show && (passwordFromInput || !assignments.empty()))
        return Usage(err, "--show cannot be combined with --set or --password-stdin", false);
    if (show) return Show(out, err);
    if (assignments.empty() && !passwordFromInput)
        return Usage(err, "--set needs at least one NAME=VALUE");

    OptionsValues values;
    std::set<OptionField> fields;
    for (const Setting* s : order) {
        const std::string& value = assignments[s];
        switch (s->kind) {
        case Kind::Text:
        case Kind::Password: *TextOf(values, s->field) = value; break;
        case Kind::Port: {
            int port = -1;
            const char* end = value.data() + value.size();
            const auto parsed = std::from_chars(value.data(), end, port);
            if (value.empty() || value.size() > 5 || parsed.ec != std::errc() || parsed.ptr != end ||
                port < settings::MinFTPPort || port > settings::MaxFTPPort)
                return Usage(err, "port must be a number from " + std::to_string(settings::MinFTPPort) + " to " +
                                      std::to_string(settings::MaxFTPPort) + ", not '" + value + "'");
            values.port = port;
            break;
        }
        case Kind::Transport: {
            const std::optional<settings::FtpTransport> transport = settings::TransportFromWord(value);
            if (!transport)
                return Usage(err, std::string(s->name) + " takes " + settings::TransportWords() + ", not '" + value +
                                      "'");
            values.transport = *transport;
            break;
        }
        case Kind::Path: {
            // A script gives a path from where it runs; the commands that read the setting run
            // elsewhere, so it is stored from the root. "~/" stays, for the home folder.
            std::string& path = *TextOf(values, s->field);
            path = value;
            if (!value.empty() && value.front() != '/' && !value.starts_with("~/")) {
                std::error_code error;
                const std::filesystem::path here = std::filesystem::current_path(error);
                if (error)
                    return Failed(err, "cannot tell the current folder, from which " + std::string(s->name) + "=" +
                                           value + " is meant: " + error.message() + "; nothing was saved");
                path = (here / value).string();
            }
            break;
        }
        case Kind::YesNo:
            if (rtl::SameTextAscii(value, "yes")) *FlagOf(values, s->field) = true;
            else if (rtl::SameTextAscii(value, "no")) *FlagOf(values, s->field) = false;
            else return Usage(err, std::string(s->name) + " takes yes or no, not '" + value + "'");
            break;
        case Kind::Filters: {
            // As the dialog's list: one entry a pattern, as typed; empty entries are not patterns.
            values.filters.clear();
            size_t start = 0;
            for (size_t at; start <= value.size(); start = at + 1) {
                at = value.find(';', start);
                if (at == std::string::npos) at = value.size();
                if (at > start) values.filters.push_back(value.substr(start, at - start));
            }
            if (values.filters.empty())
                std::fputs("zandrel: options: an empty filter list is not stored; the stored filters stay as they "
                           "are\n",
                           err);
            break;
        }
        }
        fields.insert(s->field);
    }
    if (passwordFromInput) {
        const std::optional<std::string> password = ReadPassword(in, err);
        if (!password)
            return Usage(err, "the password read from standard input is longer than " +
                                  std::to_string(kMaxPasswordBytes) + " bytes; nothing was saved",
                         false);
        // Nothing at all comes from a command that failed before the pipe (`secret-tool lookup ... |`
        // with no such secret): storing that would erase the password the uploads rely on.
        if (password->empty())
            return Usage(err,
                         "no password on standard input (an empty line or none at all); nothing was saved. To "
                         "clear the stored password, use --set password=",
                         false);
        values.password = *password;
        fields.insert(OptionField::Password);
    }

    // As in the dialog, a port still at the old transport's default moves to the new one's, unless
    // the same call names a port.
    if (fields.count(OptionField::Security) && !fields.count(OptionField::Port)) {
        OptionsValues stored;
        bool known = true;
        try {
            settings::LoadOptions(stored);
        } catch (const settings::StoredOptionError&) {
            known = false; // a transport word of no known default: the port stays as it is
        } catch (const std::exception& e) {
            return Failed(err, e.what());
        }
        const int32_t port = settings::PortAfterTransportChange(stored.port, stored.transport, values.transport);
        if (known && port != stored.port) {
            values.port = port;
            fields.insert(OptionField::Port);
        }
    }

    try {
        settings::SaveOptions(values, fields);
    } catch (const settings::OptionsValueError& e) {
        return Usage(err, e.what(), false);
    } catch (const std::exception& e) {
        return Failed(err, e.what());
    }
    return kExitOk;
}

} // namespace zandrel::host
