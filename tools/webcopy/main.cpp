// webcopy: runs a job through the transfer component and reports its events.
//
//   webcopy [OPTIONS] JOBFILE        (JOBFILE "-" reads the job from standard input)
//   webcopy [OPTIONS] get|put|ls|rm|test ARGS...   (a one-item job built from the command line)
//
// The job holds the component's published properties and its "Items", as design-time streaming
// stores them, plus an optional "Handlers" object (see JobInput.h). A one-liner builds such a job
// (OneLiner.h) and runs it exactly as a job file. What is printed and the exit statuses are
// described in kUsage below and in the README.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/Secrets.h"
#include "platform/ui/Application.h"
#include "platform/ui/Backend.h"
#include "platform/ui/BackendChoice.h"
#include "platform/ui/Interrupt.h"
#include "tools/webcopy/EventReport.h"
#include "tools/webcopy/ItemOutcomes.h"
#include "tools/webcopy/JobInput.h"
#include "tools/webcopy/OneLiner.h"
#include "webcopy/ZandrelWebCopy.h"

namespace {

using zandrel::tools::kExitBadJob;
using zandrel::tools::ReportOptions;
using zandrel::webcopy::TZandrelWebCopy;

constexpr const char* kUsage =
    "usage: webcopy [OPTIONS] JOBFILE\n"
    "       webcopy [OPTIONS] get URL [DEST]\n"
    "       webcopy [OPTIONS] put FILE... URL\n"
    "       webcopy [OPTIONS] ls|rm|test URL\n"
    "       webcopy --help | --version\n"
    "\n"
    "Runs the transfers of JOBFILE (\"-\": standard input): the component's properties and\n"
    "\"Items\" as JSON, plus an optional \"Handlers\": {\"OnFileDateCheck\": bool, \"OnCopyOverWrite\": bool}.\n"
    "Every event is printed, then a summary of each item's outcome.\n"
    "\n"
    "One-liners build a job of one item per file and run it the same way:\n"
    "  get URL [DEST]   fetch a file (a wildcard in the last part: every matching file) into\n"
    "                   DEST: a folder when it ends in / or is one, else the file's new name\n"
    "                   (default: the current folder). An existing file is kept unless\n"
    "                   --force, --rename or --newer says otherwise.\n"
    "  put FILE... URL  send files; a URL ending in / names a folder, where they keep their\n"
    "                   names. A file of the same name on the server is replaced.\n"
    "  ls URL           list a folder (or the names matching a wildcard) on an FTP/SFTP server\n"
    "  rm URL           remove one file on an FTP/SFTP server\n"
    "  test URL         log in to an FTP/SFTP server and out again\n"
    "URL: ftp://, ftps:// (implicit TLS), ftpes:// (explicit TLS), sftp://, http://, https://\n"
    "(get; put with PUT), smb://host/share/path (get) or a local path, with [USER[:PASSWORD]@]\n"
    "and :PORT. An ftp path is relative to the login folder (ftp://host//abs for an absolute\n"
    "one); an sftp path is absolute (sftp://host/~/dir for the home folder). A job file named\n"
    "like a command runs as ./get or after --.\n"
    "\n"
    "One-liner options:\n"
    "  -u, --user=USER        log in as USER (over the user in the URL)\n"
    "  --newer                only when the source is newer than the target's copy\n"
    "  --passive, --active    FTP data connections (the default is active)\n"
    "  --force                replace an existing local file\n"
    "  --rename               keep an existing file and write under a free name\n"
    "  --print-job            print the job instead of running it (passwords masked)\n"
    "\n"
    "Options:\n"
    "  --ui=terminal|qt|auto  where the progress window goes (auto: qt when a display is set)\n"
    "  --json                 one JSON line per event, the last {\"event\":\"done\",...}\n"
    "                         (the default when standard output is not a terminal)\n"
    "  --text                 readable lines (the default when standard output is a terminal)\n"
    "  --all-progress         every progress event (default: a few a second, the last always)\n"
    "  --no-progress          no progress events and no progress line\n"
    "  -q, --quiet            print nothing but the items that are not done (on stderr)\n"
    "  -h, --help             this text\n"
    "  --version              the component's version\n"
    "\n"
    "Item outcomes: Success, NoNewVersion (nothing newer than the item's FileDate), Declined (a\n"
    "handler of the job said no), Failed, NothingMatched (a multi-file item found no file),\n"
    "Cancelled, NotRun (the run stopped before it), Inactive.\n"
    "\n"
    "Exit status: 0 every active item Success, NoNewVersion or Declined; 1 any other outcome or a\n"
    "run that broke off; 2 usage error or a job that cannot be read or is not valid;\n"
    "130 stopped by Ctrl-C (143 by SIGTERM). Ctrl-C presses Cancel; a second Ctrl-C ends at once.\n";

struct Arguments {
    std::string ui = "auto";
    std::string jobPath;
    ReportOptions report;
    bool formatChosen = false;
    // A one-liner: its verb (empty for a job file), its operands and options.
    std::string verb;
    std::vector<std::string> operands;
    zandrel::tools::OneLinerOptions oneLiner;
    bool printJob = false;
    std::string oneLinerOption; // the first one-liner option given, for the message when it is misused
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "webcopy: %s\nTry 'webcopy --help' for more information.\n", message.c_str());
    return kExitBadJob;
}

// 0 to go on, else the status to end with.
int ParseArguments(int argc, char** argv, Arguments& args, bool& finished) {
    finished = false;
    bool onlyFiles = false;
    auto noteOneLinerOption = [&](const std::string& arg) {
        if (args.oneLinerOption.empty()) args.oneLinerOption = arg;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!onlyFiles && arg == "--") {
            onlyFiles = true;
            continue;
        }
        if (!onlyFiles && arg.size() > 1 && arg[0] == '-') {
            // The one-liners' options, also where a job file is given (refused below, by name).
            if (arg == "-u" || arg == "--user") {
                if (i + 1 >= argc) return UsageError(arg + " needs a user name");
                args.oneLiner.user = argv[++i];
                noteOneLinerOption(arg);
                continue;
            }
            if (arg.rfind("--user=", 0) == 0 || (arg.rfind("-u", 0) == 0 && arg.size() > 2)) {
                args.oneLiner.user = arg.substr(arg[1] == 'u' ? 2 : 7);
                noteOneLinerOption("--user");
                continue;
            }
            if (arg == "--newer" || arg == "--force" || arg == "--rename" || arg == "--passive" || arg == "--active" ||
                arg == "--print-job") {
                if (arg == "--newer") args.oneLiner.newer = true;
                else if (arg == "--force") args.oneLiner.force = true;
                else if (arg == "--rename") args.oneLiner.rename = true;
                else if (arg == "--print-job") args.printJob = true;
                else args.oneLiner.passive = arg == "--passive";
                noteOneLinerOption(arg);
                continue;
            }
            if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                finished = true;
                return 0;
            }
            if (arg == "--version") {
                TZandrelWebCopy wc;
                std::printf("webcopy %s (TZandrelWebCopy %s)\n", ZANDREL_VERSION, wc.Version().c_str());
                finished = true;
                return 0;
            }
            if (arg.rfind("--ui=", 0) == 0) {
                args.ui = arg.substr(5);
                if (args.ui != "terminal" && args.ui != "qt" && args.ui != "auto")
                    return UsageError("unknown user interface \"" + args.ui + "\" (terminal, qt or auto)");
            } else if (arg == "--json" || arg == "--text") {
                args.report.format = arg == "--json" ? ReportOptions::Format::Json : ReportOptions::Format::Text;
                args.formatChosen = true;
            } else if (arg == "--all-progress") {
                args.report.everyProgress = true;
            } else if (arg == "--no-progress") {
                args.report.progress = false;
            } else if (arg == "-q" || arg == "--quiet") {
                args.report.quiet = true;
            } else {
                return UsageError("unknown option " + arg);
            }
            continue;
        }
        // The first word names a one-liner unless it comes after "--" (a job file called "get"
        // runs as "webcopy -- get" or "webcopy ./get").
        if (!args.verb.empty()) {
            args.operands.push_back(arg);
            continue;
        }
        if (args.jobPath.empty() && !onlyFiles && zandrel::tools::IsOneLinerVerb(arg)) {
            args.verb = arg;
            continue;
        }
        if (!args.jobPath.empty()) {
            // "webcopy frob URL" is a misspelt command more often than two job files.
            if (::access(args.jobPath.c_str(), F_OK) != 0)
                return UsageError("unknown command \"" + args.jobPath + "\" (get, put, ls, rm or test)");
            return UsageError("one job file only");
        }
        args.jobPath = arg;
    }
    if (args.jobPath.empty() && args.verb.empty()) return UsageError("no job file given");
    if (args.verb.empty() && !args.oneLinerOption.empty())
        return UsageError(args.oneLinerOption + " is for the one-liners (get, put, ls, rm, test); a job file says it in JSON");
    if (!args.formatChosen)
        args.report.format = ::isatty(STDOUT_FILENO) ? ReportOptions::Format::Text : ReportOptions::Format::Json;
    return 0;
}

// A window left in its Close state after the run (Open file, Open folder) is there for the
// person: the program ends when they have closed it (Close, an Open button, Escape or Ctrl-C).
void WaitForTheWindow(const TZandrelWebCopy& wc) {
    while (wc.ProgressForm() && wc.ProgressForm()->Showing()) {
        zandrel::ui::ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
}

} // namespace

int main(int argc, char** argv) {
    // Jobs carry passwords, and logins ask for passphrases.
    zandrel::rtl::KeepSecretsOutOfCoreDumps();
    Arguments args;
    bool finished = false;
    if (const int status = ParseArguments(argc, argv, args, finished); status != 0 || finished) return status;

    std::string jobText;
    std::string source = args.jobPath == "-" ? "standard input" : args.jobPath;
    if (!args.verb.empty()) {
        zandrel::tools::OneLinerJob built;
        try {
            built = zandrel::tools::BuildOneLinerJob(args.verb, args.operands, args.oneLiner);
        } catch (const zandrel::tools::OneLinerError& e) {
            return UsageError(e.what());
        }
        if (built.passwordGiven)
            std::fputs("webcopy: warning: a password on the command line can be seen by other users of this "
                       "computer (in the process list)\n",
                       stderr);
        if (args.printJob) {
            std::puts(zandrel::tools::MaskPasswords(built.job).dump(2).c_str());
            if (built.passwordGiven)
                std::fprintf(stderr, "webcopy: the password is shown as %s; write it into the job file\n",
                             zandrel::tools::kPasswordMask);
            return 0;
        }
        jobText = built.job.dump();
        source = "the command line";
    }

    // From here on Ctrl-C (and SIGTERM) is Cancel; the run ends in order, with its summary.
    zandrel::ui::InstallInterruptLatch();

    if (args.verb.empty()) {
        try {
            jobText = zandrel::tools::ReadJobText(args.jobPath);
        } catch (const zandrel::tools::BadJob& e) {
            std::fprintf(stderr, "webcopy: %s\n", e.what());
            return kExitBadJob;
        }
    }

    zandrel::ui::TerminalOptions terminal;
    if (args.report.quiet || !args.report.progress) terminal.mode = zandrel::ui::TerminalOptions::Mode::Silent;
    const zandrel::ui::ChosenBackend ui(args.ui, argc, argv, "webcopy", "", terminal);

    int status = 0;
    {
        TZandrelWebCopy wc;
        zandrel::tools::EventReport report(args.report);
        try {
            report.Attach(wc, zandrel::tools::LoadJob(wc, jobText, source));
        } catch (const zandrel::tools::BadJob& e) {
            std::fprintf(stderr, "webcopy: %s\n", e.what());
            status = kExitBadJob;
        }
        if (status == 0) {
            // Ctrl-C is Cancel for the whole run. The run clears its cancel flag as it builds its
            // progress window, so a Ctrl-C that came earlier (while the job loaded, before there
            // was a Cancel button to press) is applied again as each file starts.
            wc.OnFileStart = [&wc, next = std::move(wc.OnFileStart)](TZandrelWebCopy& sender, int idx) {
                next(sender, idx);
                if (zandrel::ui::InterruptSignal() != 0) wc.CancelCopy();
            };
            wc.OnCopyProgress = [&wc, next = std::move(wc.OnCopyProgress)](TZandrelWebCopy& sender, int fileidx,
                                                                            auto size, auto totsize) {
                if (zandrel::ui::InterruptSignal() != 0) wc.CancelCopy();
                next(sender, fileidx, size, totsize);
            };
            bool brokeOff = false;
            try {
                wc.Execute();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "webcopy: the run stopped: %s\n", e.what());
                brokeOff = true;
            }
            status = report.Finish(wc, zandrel::ui::InterruptSignal(), brokeOff);
            if (ui.ShowsWindows() && !brokeOff) WaitForTheWindow(wc);
        }
    }
    return status;
}
