// webcopy: runs a job file through the transfer component and reports every event as one JSON
// line on stdout.
//
//   webcopy [--ui=terminal|qt|auto] JOBFILE
//
// The job file holds the component's published properties and its "Items", as design-time
// streaming stores them, plus an optional "Handlers" object whose members ("OnFileDateCheck",
// "OnCopyOverWrite") make that event answer allow = the given value. The last line is
// {"event":"done","items":[...]} with each item's results.
//
// Exit status: 0 when every active item succeeded, 1 when one did not (or the run broke off),
// 2 for a bad job file or a usage error.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/rtl/Clock.h"
#include "platform/ui/Application.h"
#include "platform/ui/Backend.h"
#include "platform/ui/QtUiLoader.h"
#include "platform/ui/terminal/TerminalBackend.h"
#include "webcopy/DesignStreaming.h"
#include "webcopy/ZandrelWebCopy.h"

namespace {

using zandrel::webcopy::TDateTime;
using zandrel::webcopy::TZandrelWebCopy;
using Json = nlohmann::ordered_json;

constexpr const char* kUsage =
    "usage: webcopy [--ui=terminal|qt|auto] JOBFILE\n"
    "       webcopy --help | --version\n"
    "\n"
    "Runs the transfers of JOBFILE (the component's properties and \"Items\" as JSON, plus an\n"
    "optional \"Handlers\": {\"OnFileDateCheck\": bool, \"OnCopyOverWrite\": bool}) and prints each\n"
    "event as one JSON line on stdout, then a closing \"done\" line with the items' results.\n"
    "Progress goes to stderr (terminal) or to a window (qt; auto picks qt when a display is set).\n"
    "Exit status: 0 all active items succeeded, 1 one did not, 2 bad job file or usage.\n";

class BadJob : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Progress lines come once per 4 KB block and are flushed at most every 50 ms; every other line
// is flushed at once. All go through one stream, so the line order never changes.
void FlushLines(bool progress) {
    static uint32_t lastFlush = zandrel::rtl::GetTickCount();
    const uint32_t now = zandrel::rtl::GetTickCount();
    if (!progress || now - lastFlush >= 50) {
        std::cout.flush();
        lastFlush = now;
    }
}

void Emit(const Json& line) {
    std::cout << line.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
    FlushLines(false);
}

// The same line Emit would print for OnCopyProgress, built without a JSON tree: at a block per
// 4 KB it is the tool's hottest path.
void EmitProgress(int fileidx, uint32_t size, uint32_t totsize) {
    static std::string line;
    auto addNumber = [](long long value) {
        char digits[24];
        line.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    };
    line.assign(R"({"event":"OnCopyProgress","fileidx":)");
    addNumber(fileidx);
    line += R"(,"size":)";
    addNumber(size);
    line += R"(,"totsize":)";
    addNumber(totsize);
    line += "}\n";
    std::cout.write(line.data(), static_cast<std::streamsize>(line.size()));
    FlushLines(true);
}

Json Event(const char* name, const Json& fields = Json::object()) {
    Json line{{"event", name}};
    for (const auto& [key, value] : fields.items()) line[key] = value;
    return line;
}

struct JobHandlers {
    std::optional<bool> fileDateCheck;
    std::optional<bool> copyOverWrite;
};

// Reads the job, strips "Handlers" and loads the rest into the component.
JobHandlers LoadJob(TZandrelWebCopy& wc, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BadJob("cannot read job file " + path);
    std::stringstream text;
    text << in.rdbuf();
    Json job;
    try {
        job = Json::parse(text.str());
    } catch (const Json::parse_error& e) {
        throw BadJob(path + ": not JSON: " + e.what());
    }
    if (!job.is_object()) throw BadJob(path + ": the job must be a JSON object");
    JobHandlers handlers;
    if (auto it = job.find("Handlers"); it != job.end()) {
        if (!it->is_object()) throw BadJob(path + ": Handlers: expected an object");
        for (auto& [name, value] : it->items()) {
            if (!value.is_boolean()) throw BadJob(path + ": Handlers." + name + ": expected true or false");
            if (name == "OnFileDateCheck") handlers.fileDateCheck = value.get<bool>();
            else if (name == "OnCopyOverWrite") handlers.copyOverWrite = value.get<bool>();
            else throw BadJob(path + ": Handlers." + name + ": unknown handler");
        }
        job.erase(it);
    }
    try {
        zandrel::webcopy::LoadComponentJson(wc, job);
    } catch (const zandrel::webcopy::StreamingError& e) {
        throw BadJob(path + ": " + e.what());
    }
    return handlers;
}

void SetHandlers(TZandrelWebCopy& wc, const JobHandlers& handlers) {
    wc.OnBeforeDialogShow = [](TZandrelWebCopy&, zandrel::ui::Form& dialog) {
        Emit(Event("OnBeforeDialogShow", Json{{"ADialog", dialog.Caption()}}));
    };
    wc.OnConnectError = [](TZandrelWebCopy&) { Emit(Event("OnConnectError")); };
    wc.OnCopyCancel = [](TZandrelWebCopy&) { Emit(Event("OnCopyCancel")); };
    wc.OnCopyDone = [](TZandrelWebCopy&) { Emit(Event("OnCopyDone")); };
    const std::optional<bool> overwrite = handlers.copyOverWrite;
    wc.OnCopyOverWrite = [overwrite](TZandrelWebCopy&, const std::string& tgtfile, bool& allow) {
        if (overwrite) allow = *overwrite;
        Emit(Event("OnCopyOverWrite", Json{{"tgtfile", tgtfile}, {"allow", allow}}));
    };
    wc.OnCopyProgress = [](TZandrelWebCopy&, int fileidx, uint32_t size, uint32_t totsize) {
        EmitProgress(fileidx, size, totsize);
    };
    wc.OnError = [](TZandrelWebCopy&, int code) { Emit(Event("OnError", Json{{"ErrorCode", code}})); };
    wc.OnErrorInfo = [](TZandrelWebCopy&, int code, const std::string& info) {
        Emit(Event("OnErrorInfo", Json{{"ErrorCode", code}, {"ErrorInfo", info}}));
    };
    wc.OnFileDone = [](TZandrelWebCopy&, int idx) { Emit(Event("OnFileDone", Json{{"idx", idx}})); };
    wc.OnFileStart = [](TZandrelWebCopy&, int idx) { Emit(Event("OnFileStart", Json{{"idx", idx}})); };
    // A handler here changes what the transfers do, so it is only set when the job asks.
    if (handlers.fileDateCheck) {
        const bool answer = *handlers.fileDateCheck;
        wc.OnFileDateCheck = [answer](TZandrelWebCopy&, int idx, TDateTime newdate, bool& allow) {
            allow = answer;
            Emit(Event("OnFileDateCheck", Json{{"idx", idx}, {"newdate", newdate}, {"allow", allow}}));
        };
    }
    wc.OnMultiFTPFileDone = [](TZandrelWebCopy&, const std::string& name) {
        Emit(Event("OnMultiFTPFileDone", Json{{"Filename", name}}));
    };
    wc.OnURLNotFound = [](TZandrelWebCopy&, const std::string& url) {
        Emit(Event("OnURLNotFound", Json{{"url", url}}));
    };
    wc.OnNoNewFileFound = [](TZandrelWebCopy&, const std::string& tgtfile, TDateTime curdate, TDateTime newdate) {
        Emit(Event("OnNoNewFileFound", Json{{"tgtfile", tgtfile}, {"curdate", curdate}, {"newdate", newdate}}));
    };
    wc.OnRemovedFile = [](TZandrelWebCopy&, int idx) { Emit(Event("OnRemovedFile", Json{{"idx", idx}})); };
    wc.OnRemovedFileFailed = [](TZandrelWebCopy&, int idx) {
        Emit(Event("OnRemovedFileFailed", Json{{"idx", idx}}));
    };
}

// The closing line; true when every active item succeeded.
bool EmitDone(const TZandrelWebCopy& wc) {
    Json items = Json::array();
    bool allGood = true;
    for (int i = 0; i < wc.Items.Count(); ++i) {
        const auto& item = wc.Items[i];
        Json fileList = nullptr;
        if (item.FileList()) fileList = item.FileList()->Items();
        items.push_back(Json{{"Success", item.Success()},
                             {"Cancelled", item.Cancelled()},
                             {"NoNewVersion", item.NoNewVersion()},
                             {"NewFileDate", item.NewFileDate},
                             {"FileList", fileList}});
        if (item.Active && !item.Success()) allGood = false;
    }
    Emit(Json{{"event", "done"}, {"items", items}});
    return allGood;
}

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::string ui = "auto";
    std::string jobPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            TZandrelWebCopy wc;
            std::cout << "webcopy (TZandrelWebCopy " << wc.Version() << ")\n";
            return 0;
        }
        if (arg.rfind("--ui=", 0) == 0) {
            ui = arg.substr(5);
            if (ui != "terminal" && ui != "qt" && ui != "auto") {
                std::cerr << "webcopy: unknown user interface \"" << ui << "\" (terminal, qt or auto)\n" << kUsage;
                return 2;
            }
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "webcopy: unknown option " << arg << "\n" << kUsage;
            return 2;
        }
        if (!jobPath.empty()) {
            std::cerr << "webcopy: one job file only\n" << kUsage;
            return 2;
        }
        jobPath = arg;
    }
    if (jobPath.empty()) {
        std::cerr << "webcopy: no job file given\n" << kUsage;
        return 2;
    }

    if (ui == "auto") ui = HasDisplay() ? "qt" : "terminal";
    // Qt is loaded only for windows; without its module the terminal stands in.
    std::unique_ptr<zandrel::ui::QtUiSession> qt;
    if (ui == "qt") {
        std::string error;
        qt = zandrel::ui::QtUiSession::Start(argc, argv, "", error);
        if (!qt) std::cerr << "webcopy: no windows (" << error << "); using the terminal\n";
    }
    if (!qt) zandrel::ui::InstallBackend(zandrel::ui::CreateTerminalBackend());

    int status = 0;
    {
        TZandrelWebCopy wc;
        try {
            SetHandlers(wc, LoadJob(wc, jobPath));
        } catch (const BadJob& e) {
            std::cerr << "webcopy: " << e.what() << '\n';
            status = 2;
        }
        if (status == 0) {
            try {
                wc.Execute();
                status = EmitDone(wc) ? 0 : 1;
            } catch (const std::exception& e) {
                std::cerr << "webcopy: the run stopped: " << e.what() << '\n';
                EmitDone(wc);
                status = 1;
            }
        }
    }
    if (qt) qt.reset();
    else zandrel::ui::RemoveBackend();
    return status;
}
