// zandrel: a command-line IDE host. It loads the Zandrel package, shows a project's context menu
// and runs its commands as the IDE would.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/FolderSnapshot.h"
#include "host/HostProject.h"
#include "host/HostSession.h"
#include "host/OptionsCommand.h"
#include "host/ProjectMenu.h"
#include "platform/rtl/Secrets.h"
#include "platform/rtl/Error.h"
#include "platform/ui/Application.h"
#include "platform/ui/BackendChoice.h"
#include "platform/ui/Interrupt.h"

namespace {

using namespace zandrel;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: zandrel [OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "Runs the Zandrel package's project commands as the IDE would.\n"
    "\n"
    "Commands:\n"
    "  menu PROJECT            list the commands on PROJECT's context menu\n"
    "  run PROJECT CAPTION     run the context-menu command CAPTION (e.g. \"Zip Project\")\n"
    "  zip PROJECT             run \"Zip Project\": write the archive beside PROJECT\n"
    "  upload PROJECT          run \"Zip & Upload Project\": pack, upload, and put the\n"
    "                          archive's web address on the clipboard (and, without\n"
    "                          windows, print it on standard output)\n"
    "  email PROJECT           run \"Zip & Email Project\"\n"
    "  wizards                 list the package's menu wizards\n"
    "  wizard TEXT             run the menu wizard TEXT (e.g. \"Zandrel Options\")\n"
    "  options                 run the \"Zandrel Options\" wizard (the options dialog)\n"
    "  options --show          print the settings, one NAME=VALUE a line (password masked)\n"
    "  options --set NAME=VALUE... [--password-stdin]\n"
    "                          store settings as the dialog's Ok does; the others stay as they\n"
    "                          are. NAMEs: host, port (0-65535), security (none, ftps,\n"
    "                          ftps-implicit or sftp; a port at the old one's default follows),\n"
    "                          username, keyfile (SSH key for sftp; empty for the usual keys),\n"
    "                          directory, passive (yes/no), baseurl, filters (patterns\n"
    "                          separated by \";\"), to, cc, bcc, subject, body, autosend\n"
    "                          (yes/no); in values \\n is a line break and \\\\ a backslash\n"
    "  options --password-stdin\n"
    "                          store the password read from the first line of standard input\n"
    "                          (it is never taken from the command line; empty input is an\n"
    "                          error, and --set password= clears it)\n"
    "\n"
    "Options:\n"
    "  --ui=auto|qt|terminal   user interface: Qt windows, or the terminal (default auto:\n"
    "                          Qt when a display is available)\n"
    "  --package=PATH          the package library to load (default: lib/QuillonZandrel.so\n"
    "                          beside this program's folder)\n"
    "  -h, --help              show this help and exit\n"
    "  --version               show the version and exit\n"
    "\n"
    "Standard output carries only a command's result, and only when it did all its work: the\n"
    "archive's path (zip, email), the web address (upload, without windows), the lists of menu\n"
    "and options --show. Everything else, what was written included, goes to standard error.\n"
    "\n"
    "Settings are kept in $XDG_CONFIG_HOME/zandrel/user.reg (default ~/.config/zandrel/user.reg).\n"
    "Exit status: 0 done, all of it; 1 the command failed, wrote nothing, or left something out\n"
    "(the messages say what and why); 2 usage error; 130 stopped by Ctrl-C (143 by SIGTERM).\n";

struct Options {
    std::string ui = "auto";
    std::string package;
    std::vector<std::string> args;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "zandrel: %s\nTry 'zandrel --help' for more information.\n", message.c_str());
    return kExitUsage;
}

std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
    bool onlyArgs = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (onlyArgs || a.empty() || a[0] != '-' || a == "-") {
            options.args.push_back(a);
        } else if (!options.args.empty() && options.args[0] == "options" && host::IsOptionsScriptArgument(a)) {
            options.args.push_back(a);
        } else if (a == "--") {
            onlyArgs = true;
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (a == "--version") {
            std::printf("zandrel %s\n", ZANDREL_VERSION);
            return kExitOk;
        } else if (a.rfind("--ui=", 0) == 0 || a == "--ui") {
            options.ui = a == "--ui" ? (i + 1 < argc ? argv[++i] : "") : a.substr(5);
            if (options.ui != "auto" && options.ui != "qt" && options.ui != "terminal")
                return UsageError("--ui takes auto, qt or terminal, not '" + options.ui + "'");
        } else if (a.rfind("--package=", 0) == 0 || a == "--package") {
            options.package = a == "--package" ? (i + 1 < argc ? argv[++i] : "") : a.substr(10);
            if (options.package.empty()) return UsageError("--package needs a path");
        } else {
            return UsageError("unknown option '" + a + "'");
        }
    }
    return std::nullopt;
}

std::string AbsoluteProjectPath(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}

// Messages of the package's commands, all on stderr: stdout carries only a command's result (see
// RunMenuCommand), so that a script reading it never takes a report for the result.
void PrintMessage(const host::THostServices::Message& message) {
    using toolsapi::TMessageKind;
    if (message.kind == TMessageKind::mkInfo) {
        std::fprintf(stderr, "%s\n", message.text.c_str());
        return;
    }
    std::fprintf(stderr, "zandrel: %s%s\n", message.kind == TMessageKind::mkWarning ? "warning: " : "",
                 message.text.c_str());
}

// `showsWindows`: false when the terminal stands in for windows. Standard output gets the result
// of a command that did all its work, and nothing otherwise: the text it put on the clipboard (the
// upload's web address; only without windows, where no one sees the clipboard) or else the archive
// it wrote. What was written and every message go to stderr.
int RunMenuCommand(host::HostSession& session, const std::string& projectArg, const std::string& caption,
                   bool showsWindows) {
    const std::string project = AbsoluteProjectPath(projectArg);
    if (!std::filesystem::is_regular_file(project)) {
        std::fprintf(stderr, "zandrel: project file not found: %s\n", projectArg.c_str());
        return kExitFailed;
    }
    auto* hostProject = new host::THostProject(project);
    toolsapi::ComPtr<toolsapi::IOTAProject> node(hostProject);
    const auto menu = host::BuildProjectMenu(session.Services(), node);
    const auto entry = host::FindMenuEntry(menu, caption);
    if (!entry) {
        std::fprintf(stderr, "zandrel: the project's menu has no command '%s' (see 'zandrel menu %s')\n",
                     caption.c_str(), projectArg.c_str());
        return kExitUsage;
    }
    const std::string folder = std::filesystem::path(project).parent_path().string();
    const auto before = host::TakeSnapshot(folder);
    session.Services().ClearMessages();
    const std::string clipboardBefore = showsWindows ? std::string() : ui::ClipboardText();
    if (!host::ExecuteMenuEntry(*entry, node)) {
        std::fprintf(stderr, "zandrel: '%s' cannot be run\n", entry->displayCaption.c_str());
        return kExitFailed;
    }
    const auto written = host::WrittenFiles(before, host::TakeSnapshot(folder));
    for (const auto& file : written)
        std::fprintf(stderr, "%s %s (%llu bytes)\n", file.replaced ? "Replaced" : "Wrote",
                     (std::filesystem::path(folder) / file.name).string().c_str(),
                     static_cast<unsigned long long>(file.size));
    bool failed = false, stopped = false;
    for (const auto& message : session.Services().Messages()) {
        failed = failed || message.kind == toolsapi::TMessageKind::mkError;
        stopped = stopped || message.kind == toolsapi::TMessageKind::mkStopped;
    }
    // A Ctrl-C that closed a form (the options dialog of an upload without a host) stops the
    // command as well, though the package had nothing to report.
    stopped = stopped || ui::InterruptSignal() != 0;
    // 128 + the signal, as a shell reports a program that the signal ended: 130 for Ctrl-C.
    if (stopped) return 128 + (ui::InterruptSignal() != 0 ? ui::InterruptSignal() : SIGINT);
    if (failed) return kExitFailed;
    if (written.empty()) {
        const std::string& why = hostProject->SaveFailure();
        std::fprintf(stderr, "zandrel: %s: nothing was written%s%s\n", entry->displayCaption.c_str(),
                     why.empty() ? "" : ": ", why.c_str());
        return kExitFailed;
    }
    const std::string clipboard = showsWindows ? std::string() : ui::ClipboardText();
    if (clipboard != clipboardBefore) {
        std::printf("%s\n", clipboard.c_str());
    } else if (entry->caption != "Zip && Upload Project") {
        // The archive always ends in ".zip"; another file that changed meanwhile (an editor saving
        // a unit) is in the report on stderr, but it is no result of the command.
        for (const auto& file : written)
            if (file.name.size() > 4 && file.name.compare(file.name.size() - 4, 4, ".zip") == 0)
                std::printf("%s\n", (std::filesystem::path(folder) / file.name).string().c_str());
    }
    std::fflush(stdout);
    return kExitOk;
}

int RunWizard(host::HostSession& session, const std::string& text) {
    for (const auto& wizard : session.Services().Wizards()) {
        if (host::THostServices::MenuTextOf(wizard) == text || wizard->GetIDString() == text) {
            wizard->Execute();
            if (ui::InterruptSignal() != 0) return 128 + ui::InterruptSignal();
            return kExitOk;
        }
    }
    std::fprintf(stderr, "zandrel: no wizard '%s' (see 'zandrel wizards')\n", text.c_str());
    return kExitUsage;
}

int Dispatch(host::HostSession& session, const std::vector<std::string>& args, bool showsWindows) {
    const std::string& command = args[0];
    auto need = [&](size_t n, const char* what) -> std::optional<int> {
        if (args.size() != n + 1) return UsageError("'" + command + "' takes " + what);
        if (std::string_view(what).rfind("PROJECT", 0) == 0 && args[1].empty())
            return UsageError("'" + command + "' needs a PROJECT file name, not an empty one");
        return std::nullopt;
    };
    if (command == "menu") {
        if (auto bad = need(1, "PROJECT")) return *bad;
        const std::string project = AbsoluteProjectPath(args[1]);
        if (!std::filesystem::is_regular_file(project)) {
            std::fprintf(stderr, "zandrel: project file not found: %s\n", args[1].c_str());
            return kExitFailed;
        }
        toolsapi::ComPtr<toolsapi::IOTAProject> node(new host::THostProject(project));
        for (const auto& entry : host::BuildProjectMenu(session.Services(), node))
            std::printf("%s\n", entry.displayCaption.c_str());
        return kExitOk;
    }
    if (command == "run") {
        if (auto bad = need(2, "PROJECT CAPTION")) return *bad;
        return RunMenuCommand(session, args[1], args[2], showsWindows);
    }
    static const std::pair<const char*, const char*> kShortcuts[] = {
        {"zip", "Zip Project"}, {"upload", "Zip && Upload Project"}, {"email", "Zip && Email Project"}};
    for (const auto& [name, caption] : kShortcuts) {
        if (command != name) continue;
        if (auto bad = need(1, "PROJECT")) return *bad;
        return RunMenuCommand(session, args[1], caption, showsWindows);
    }
    if (command == "wizards") {
        if (auto bad = need(0, "no arguments")) return *bad;
        for (const auto& wizard : session.Services().Wizards())
            std::printf("%s\n", host::THostServices::MenuTextOf(wizard).c_str());
        return kExitOk;
    }
    if (command == "wizard") {
        if (auto bad = need(1, "TEXT")) return *bad;
        return RunWizard(session, args[1]);
    }
    if (command == "options") {
        if (auto bad = need(0, "no arguments")) return *bad;
        return RunWizard(session, "Zandrel Options");
    }
    return UsageError("unknown command '" + command + "'");
}

} // namespace

int main(int argc, char** argv) {
    // The settings hold the FTP password, and logins ask for passphrases.
    rtl::KeepSecretsOutOfCoreDumps();
    Options options;
    if (auto done = ParseOptions(argc, argv, options)) return *done;
    if (options.args.empty()) return UsageError("no command given");
    // Reading and writing the settings needs neither the package nor a user interface.
    if (options.args[0] == "options" && options.args.size() > 1)
        return host::RunOptionsScript({options.args.begin() + 1, options.args.end()}, stdin, stdout, stderr);
    if (options.package.empty()) options.package = host::HostSession::DefaultPackagePath();
    try {
        // In the terminal Ctrl-C goes to the process-wide latch, which the commands poll.
        ui::ChosenBackend ui(options.ui, argc, argv, "zandrel", "Zandrel", {.handleInterrupt = false});
        ui::InstallInterruptLatch();
        // A file-size limit (ulimit -f) makes a write fail with "File too large", which the
        // command reports, instead of ending the program.
        std::signal(SIGXFSZ, SIG_IGN);
        host::HostSession session(options.package);
        session.Services().SetShowsDesktopWindows(ui.ShowsWindows());
        session.Services().SetMessageSink(PrintMessage);
        return Dispatch(session, options.args, ui.ShowsWindows());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zandrel: %s\n", e.what());
        return kExitFailed;
    }
}
