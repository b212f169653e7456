#include "settings/OptionsStore.h"

#include <functional>

#include "platform/registry/Hive.h"
#include "platform/registry/Registry.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Utf16.h"
#include "settings/ApplyForwardSlash.h"
#include "settings/Scramble.h"

namespace zandrel::settings {
namespace {

// Readers and writers alike open the key with creation allowed.
void OpenSettingsKey(registry::TRegistry& reg) {
    reg.SetRootKey(registry::HKEY_CURRENT_USER);
    reg.OpenKey(SettingsKeyPath, true);
}

// Lines of a text cut at CR LF, LF or CR.
std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

const char* FieldLabel(OptionField field) {
    switch (field) {
    case OptionField::UserName: return "the user name";
    case OptionField::Password: return "the password";
    case OptionField::KeyFile: return "the SSH key file";
    case OptionField::Host: return "the host";
    case OptionField::Directory: return "the directory";
    case OptionField::BaseUrl: return "the base URL";
    case OptionField::Filters: return "the file filters";
    case OptionField::To: return "the To field";
    case OptionField::CC: return "the CC field";
    case OptionField::BCC: return "the BCC field";
    case OptionField::Subject: return "the subject";
    case OptionField::Body: return "the body";
    default: return "a setting";
    }
}

// One value ready to be written.
struct PendingWrite {
    std::string_view name;
    std::function<void(registry::TRegistry&)> write;
};

} // namespace

std::set<OptionField> LoadOptions(OptionsValues& values) {
    registry::TRegistry reg;
    OpenSettingsKey(reg);
    std::set<OptionField> stored;
    auto readString = [&](std::string_view name, OptionField field, std::string& target) {
        if (!reg.ValueExists(name)) return;
        target = reg.ReadString(name);
        stored.insert(field);
    };
    auto readBool = [&](std::string_view name, OptionField field, bool& target) {
        if (!reg.ValueExists(name)) return;
        target = reg.ReadBool(name);
        stored.insert(field);
    };

    if (reg.ValueExists(ValueFTPUserName)) {
        values.userName = Decrypt(reg.ReadString(ValueFTPUserName), ScrambleKey);
        stored.insert(OptionField::UserName);
    }
    if (reg.ValueExists(ValueFTPpwd)) {
        values.password = Decrypt(reg.ReadString(ValueFTPpwd), ScrambleKey);
        stored.insert(OptionField::Password);
    }
    if (reg.ValueExists(ValueFTPPort)) {
        values.port = reg.ReadInteger(ValueFTPPort);
        stored.insert(OptionField::Port);
    }
    // A transport that cannot be read is reported once the rest is in: the dialog then shows every
    // other setting as stored, and its Ok does not blank them.
    std::string unknownTransport;
    if (reg.ValueExists(ValueFTPSecurity)) {
        try {
            values.transport = StoredTransport(reg.ReadString(ValueFTPSecurity));
            stored.insert(OptionField::Security);
        } catch (const StoredOptionError& e) {
            unknownTransport = e.what();
        }
    }
    readString(ValueSSHKeyFile, OptionField::KeyFile, values.keyFile);
    readString(ValueFTPHost, OptionField::Host, values.host);
    readString(ValueFTPDirectory, OptionField::Directory, values.directory);
    readBool(ValueFTPPassive, OptionField::Passive, values.passive);
    if (reg.ValueExists(ValueFTPBaseURLProbe)) {
        values.baseUrl = reg.ReadString(ValueFTPBaseUrl);
        stored.insert(OptionField::BaseUrl);
    }
    if (reg.ValueExists(ValueZIPFilter)) {
        values.filters = FiltersFromStoredText(reg.ReadString(ValueZIPFilter));
        stored.insert(OptionField::Filters);
    }
    readString(ValueEMAILTo, OptionField::To, values.emailTo);
    readString(ValueEMAILCC, OptionField::CC, values.emailCC);
    readString(ValueEMAILBCC, OptionField::BCC, values.emailBCC);
    readString(ValueEMAILSubject, OptionField::Subject, values.emailSubject);
    if (reg.ValueExists(ValueEMAILBody)) {
        values.emailBody = MemoTextFromStoredBody(reg.ReadString(ValueEMAILBody));
        stored.insert(OptionField::Body);
    }
    readBool(ValueEMAILAuto, OptionField::AutoSend, values.emailAuto);
    if (!unknownTransport.empty()) throw StoredOptionError(unknownTransport);
    return stored;
}

void SaveOptions(const OptionsValues& values, const std::set<OptionField>& fields) {
    // Every value is put in its stored form first, so that a text the store cannot take stops the
    // save before anything is written: a half-saved dialog would pair, say, a new user name with
    // the old password.
    std::vector<PendingWrite> writes;
    auto text = [&](OptionField field, std::string_view name, std::string value) {
        if (!fields.count(field)) return;
        if (!registry::IsUtf8(value))
            throw OptionsValueError(std::string(FieldLabel(field)) + " is not valid UTF-8 text; nothing was saved");
        writes.push_back({name, [name, value = std::move(value)](registry::TRegistry& reg) {
                              reg.WriteString(name, value);
                          }});
    };
    auto scrambled = [&](OptionField field, std::string_view name, const std::string& plain) {
        if (!fields.count(field)) return;
        if (!registry::IsUtf8(plain))
            throw OptionsValueError(std::string(FieldLabel(field)) + " is not valid UTF-8 text; nothing was saved");
        try {
            text(field, name, Encrypt(plain, ScrambleKey));
        } catch (const ScrambleError& e) {
            throw OptionsValueError(std::string(FieldLabel(field)) + " cannot be stored: " + e.what() +
                             "; nothing was saved");
        }
    };
    auto number = [&](OptionField field, std::string_view name, int32_t value) {
        if (!fields.count(field)) return;
        writes.push_back({name, [name, value](registry::TRegistry& reg) { reg.WriteInteger(name, value); }});
    };
    auto flag = [&](OptionField field, std::string_view name, bool value) {
        if (!fields.count(field)) return;
        writes.push_back({name, [name, value](registry::TRegistry& reg) { reg.WriteBool(name, value); }});
    };

    // Written where the store already holds the value, or where the value says more than its
    // absence would.
    auto unlessAbsentAndPlain = [&](OptionField field, std::string_view name, std::string value, bool plain) {
        if (!fields.count(field)) return;
        if (!registry::IsUtf8(value))
            throw OptionsValueError(std::string(FieldLabel(field)) + " is not valid UTF-8 text; nothing was saved");
        writes.push_back({name, [name, value = std::move(value), plain](registry::TRegistry& reg) {
                              if (plain && !reg.ValueExists(name)) return;
                              reg.WriteString(name, value);
                          }});
    };

    if (fields.count(OptionField::Host))
        if (const std::string problem = HostSettingProblem(values.host); !problem.empty())
            throw OptionsValueError(problem + "; nothing was saved");
    if (fields.count(OptionField::KeyFile))
        if (const std::string problem = KeyFileSettingProblem(values.keyFile); !problem.empty())
            throw OptionsValueError(problem + "; nothing was saved");

    scrambled(OptionField::UserName, ValueFTPUserName, values.userName);
    scrambled(OptionField::Password, ValueFTPpwd, values.password);
    number(OptionField::Port, ValueFTPPort, values.port);
    unlessAbsentAndPlain(OptionField::Security, ValueFTPSecurity, std::string(TransportWord(values.transport)),
                         values.transport == FtpTransport::Ftp);
    unlessAbsentAndPlain(OptionField::KeyFile, ValueSSHKeyFile, values.keyFile, values.keyFile.empty());
    text(OptionField::Host, ValueFTPHost, values.host);
    text(OptionField::Directory, ValueFTPDirectory, values.directory);
    flag(OptionField::Passive, ValueFTPPassive, values.passive);
    text(OptionField::BaseUrl, ValueFTPBaseUrl, ApplyForwardSlash(values.baseUrl));
    // An empty list is not stored: the filters saved before stay in force.
    if (std::string filters = StoredFilterText(values.filters); !filters.empty())
        text(OptionField::Filters, ValueZIPFilter, std::move(filters));
    text(OptionField::To, ValueEMAILTo, values.emailTo);
    text(OptionField::CC, ValueEMAILCC, values.emailCC);
    text(OptionField::BCC, ValueEMAILBCC, values.emailBCC);
    text(OptionField::Subject, ValueEMAILSubject, values.emailSubject);
    text(OptionField::Body, ValueEMAILBody, StoredBodyText(values.emailBody));
    flag(OptionField::AutoSend, ValueEMAILAuto, values.emailAuto);

    registry::TRegistry reg;
    OpenSettingsKey(reg);
    for (const PendingWrite& w : writes) w.write(reg);
}

void SaveOptions(const OptionsValues& values) {
    SaveOptions(values, {OptionField::UserName, OptionField::Password, OptionField::Port, OptionField::Security,
                         OptionField::KeyFile, OptionField::Host, OptionField::Directory, OptionField::Passive,
                         OptionField::BaseUrl, OptionField::Filters, OptionField::To, OptionField::CC,
                         OptionField::BCC, OptionField::Subject, OptionField::Body, OptionField::AutoSend});
}

std::string HostSettingProblem(std::string_view host) {
    const std::string quoted = "\"" + std::string(host) + "\"";
    if (const size_t scheme = host.find("://"); scheme != std::string_view::npos) {
        std::string_view rest = host.substr(scheme + 3);
        rest = rest.substr(0, rest.find_first_of("/?#"));
        // A pasted address may hold a user and a password: then the message does not repeat it.
        const size_t at = rest.rfind('@');
        if (at != std::string_view::npos) rest.remove_prefix(at + 1);
        if (!rest.empty() && rest.front() == '[')
            rest = rest.substr(1, rest.find(']') == std::string_view::npos ? rest.size() : rest.find(']') - 1);
        else
            rest = rest.substr(0, rest.find(':'));
        // The schemes that name a transport, as FileZilla reads them: the transport is a setting of
        // its own.
        std::string transport;
        const std::string_view name = host.substr(0, scheme);
        if (rtl::SameTextAscii(name, "sftp")) transport = "sftp";
        else if (rtl::SameTextAscii(name, "ftps")) transport = "ftps-implicit";
        else if (rtl::SameTextAscii(name, "ftpes")) transport = "ftps";
        return "the host " + (at == std::string_view::npos ? quoted + " " : std::string()) +
               "is an address; give the server's name alone" +
               (rest.empty() ? std::string() : " (" + std::string(rest) + ")") +
               (transport.empty() ? std::string()
                                  : ", choose the transport with security=" + transport +
                                        " (the dialog's Transport button)") +
               ", and its port and folder as the port and directory settings" +
               (at == std::string_view::npos ? "" : ", the user name and password as settings of their own");
    }
    if (host.find_first_of("/\\") != std::string_view::npos)
        return "the host " + quoted + " holds a path; give the server's name alone, and the folder as the "
               "directory setting";
    // "name:port" has one colon; "[address]:port" ends in one after the bracket. An IPv6 address
    // has several colons and no brackets.
    size_t colon = std::string_view::npos;
    if (!host.empty() && host.front() == '[') {
        if (const size_t close = host.find(']'); close != std::string_view::npos && close + 1 < host.size() &&
                                                 host[close + 1] == ':')
            colon = close + 1;
    } else if (host.find(':') != std::string_view::npos && host.find(':') == host.rfind(':')) {
        colon = host.find(':');
    }
    if (colon == std::string_view::npos) return {};
    std::string_view name = host.substr(0, colon);
    if (name.size() >= 2 && name.front() == '[') name = name.substr(1, name.size() - 2);
    return "the host " + quoted + " holds a port; give the host (" + std::string(name) + ") and the port (" +
           std::string(host.substr(colon + 1)) + ") as settings of their own";
}

std::string KeyFileSettingProblem(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.starts_with("~/")) return {};
    return "the SSH key file \"" + std::string(path) +
           "\" is not a full path; give it from / (or from ~/ for one in your home folder)";
}

std::string StoredFilterText(const std::vector<std::string>& filters) {
    std::string joined;
    for (size_t i = 0; i < filters.size(); ++i) {
        if (i > 0) joined += ';';
        joined += rtl::UpperCaseAscii(filters[i]);
    }
    return joined;
}

std::vector<std::string> FiltersFromStoredText(std::string_view text) {
    rtl::StringList list;
    list.SetDelimiter(';');
    list.SetDelimitedText(text);
    return list.Items();
}

std::string StoredBodyText(std::string_view memoText) {
    if (memoText.empty()) return {};
    std::string stored;
    for (const std::string& line : Lines(memoText)) stored += line + "\r\n";
    return stored;
}

std::string MemoTextFromStoredBody(std::string_view stored) {
    if (stored.empty()) return {};
    std::vector<std::string> lines = Lines(stored);
    if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    std::string memo;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) memo += '\n';
        memo += lines[i];
    }
    return memo;
}

} // namespace zandrel::settings
