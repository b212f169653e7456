// webcopy: runs a job through the transfer component and reports its events.
//
//   webcopy [OPTIONS] JOBFILE        (JOBFILE "-" reads the job from standard input)
//
// The job holds the component's published properties and its "Items", as design-time streaming
// stores them, plus an optional "Handlers" object (see JobInput.h). What is printed and the exit
// statuses are described in kUsage below and in the README.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <thread>

#include "platform/rtl/Secrets.h"
#include "platform/ui/Application.h"
#include "platform/ui/Backend.h"
#include "platform/ui/BackendChoice.h"
#include "platform/ui/Interrupt.h"
#include "tools/webcopy/EventReport.h"
#include "tools/webcopy/ItemOutcomes.h"
#include "tools/webcopy/JobInput.h"
#include "webcopy/ZandrelWebCopy.h"

namespace {

using zandrel::tools::kExitBadJob;
using zandrel::tools::ReportOptions;
using zandrel::webcopy::TZandrelWebCopy;

constexpr const char* kUsage =
    "usage: webcopy [OPTIONS] JOBFILE\n"
    "       webcopy --help | --version\n"
    "\n"
    "Runs the transfers of JOBFILE (\"-\": standard input): the component's properties and\n"
    "\"Items\" as JSON, plus an optional \"Handlers\": {\"OnFileDateCheck\": bool, \"OnCopyOverWrite\": bool}.\n"
    "Every event is printed, then a summary of each item's outcome.\n"
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
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "webcopy: %s\nTry 'webcopy --help' for more information.\n", message.c_str());
    return kExitBadJob;
}

// 0 to go on, else the status to end with.
int ParseArguments(int argc, char** argv, Arguments& args, bool& finished) {
    finished = false;
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!onlyFiles && arg == "--") {
            onlyFiles = true;
            continue;
        }
        if (!onlyFiles && arg.size() > 1 && arg[0] == '-') {
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
        if (!args.jobPath.empty()) return UsageError("one job file only");
        args.jobPath = arg;
    }
    if (args.jobPath.empty()) return UsageError("no job file given");
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

    // From here on Ctrl-C (and SIGTERM) is Cancel; the run ends in order, with its summary.
    zandrel::ui::InstallInterruptLatch();

    std::string jobText;
    try {
        jobText = zandrel::tools::ReadJobText(args.jobPath);
    } catch (const zandrel::tools::BadJob& e) {
        std::fprintf(stderr, "webcopy: %s\n", e.what());
        return kExitBadJob;
    }

    zandrel::ui::TerminalOptions terminal;
    if (args.report.quiet || !args.report.progress) terminal.mode = zandrel::ui::TerminalOptions::Mode::Silent;
    const zandrel::ui::ChosenBackend ui(args.ui, argc, argv, "webcopy", "", terminal);

    int status = 0;
    {
        TZandrelWebCopy wc;
        zandrel::tools::EventReport report(args.report);
        const std::string source = args.jobPath == "-" ? "standard input" : args.jobPath;
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
