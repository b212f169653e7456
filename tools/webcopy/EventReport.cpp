#include "tools/webcopy/EventReport.h"

#include <charconv>

#include "platform/rtl/Clock.h"
#include "platform/ui/Forms.h"
#include "platform/ui/terminal/TerminalBackend.h"
#include "webcopy/Protocols.h"
#include "webcopy/StreamingValues.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::tools {
namespace {

using Json = nlohmann::ordered_json;
using webcopy::PrintableText;
using webcopy::TDateTime;
using webcopy::TextToJson;
using webcopy::TZandrelWebCopy;

std::string ProtocolName(webcopy::TZandrelWebCopyProtocol protocol) {
    const webcopy::ProtocolTraits* traits = webcopy::Protocols::Find(protocol);
    return traits ? std::string(traits->name) : "?";
}

Json Event(const char* name) { return Json{{"event", name}}; }

// 0 is the date-time nobody set (an item's FileDate by default, the NewFileDate of an item whose
// routine found none): as a date it would read 1899-12-30, which no file ever had.
bool DateSet(TDateTime value) { return value != 0; }

// A date-time as the job gives it: the number, and ISO 8601 beside it under `key` + "ISO"; both
// null when the date is not set.
void AddDate(Json& json, const std::string& key, TDateTime value) {
    json[key] = DateSet(value) ? Json(value) : Json(nullptr);
    const std::string iso = DateSet(value) ? webcopy::DateTimeToIso(value) : std::string();
    json[key + "ISO"] = iso.empty() ? Json(nullptr) : Json(iso);
}

std::string Iso(TDateTime value) {
    if (!DateSet(value)) return "no date";
    const std::string iso = webcopy::DateTimeToIso(value);
    return iso.empty() ? std::to_string(value) : iso;
}

bool MovesFiles(webcopy::TZandrelWebCopyProtocol protocol) {
    switch (protocol) {
    case webcopy::wpHttp:
    case webcopy::wpHttpUpload:
    case webcopy::wpFtp:
    case webcopy::wpFtpUpload:
    case webcopy::wpMultiFtp:
    case webcopy::wpMultiFtpUpload:
    case webcopy::wpFile: return true;
    default: return false;
    }
}

// The last part of a path or URL, without a query or fragment.
std::string LastPart(std::string path) {
    if (path.find("://") != std::string::npos) path = path.substr(0, path.find_first_of("?#"));
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the progress line calls the item: the file it moves (the mask of a multi-file item).
std::string ShownName(const webcopy::TZandrelWebCopyItem& item) {
    if (item.Protocol == webcopy::wpHttpUpload && !item.TargetFilename.empty()) return item.TargetFilename;
    return LastPart(webcopy::MaskUrlPasswords(item.URL));
}

std::string JoinRemote(std::string folder, const std::string& name) {
    if (folder.empty()) return name;
    if (name.empty()) return folder;
    if (folder.back() != '/') folder += '/';
    return folder + name;
}

// A place on an FTP server as scp writes it, "host:folder/name": a path without a leading "/" is
// relative to the login folder. The transport (sftp://, ftps://) is named by the item's line.
std::string OnServer(const webcopy::TZandrelWebCopyItem& item, const std::string& path) {
    std::string host = item.FTPHost;
    if (const size_t scheme = host.find("://"); scheme != std::string::npos) host.erase(0, scheme + 3);
    while (!host.empty() && host.back() == '/') host.pop_back();
    return host + ":" + path;
}

double Seconds(std::chrono::steady_clock::duration span) { return std::chrono::duration<double>(span).count(); }

// 1234567 -> "1,234,567": exact at any size, unlike the dialog's rounded Kb and Mb.
std::string Grouped(uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

template <class Integer>
void AppendNumber(std::string& line, Integer value) {
    char digits[24];
    line.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

std::string Describe(const TZandrelWebCopy& wc, int idx) {
    if (idx < 0 || idx >= wc.Items.Count()) return "item " + std::to_string(idx + 1);
    const auto& item = wc.Items[idx];
    std::string text = "item " + std::to_string(idx + 1) + " (" + ProtocolName(item.Protocol);
    if (!item.URL.empty()) text += " " + PrintableText(webcopy::MaskUrlPasswords(item.URL));
    return text + ")";
}

// A text as one line: some carry the line break of the system's message table ("The operation
// timed out\r\n"), which has no place inside a reason or a report line.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c != '\r' && c != '\n') line += c;
        else if (!line.empty() && line.back() != ' ') line += ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// A reason for the JSON events: null when there is none.
Json ReasonJson(const std::string& reason) { return reason.empty() ? Json(nullptr) : TextToJson(OneLine(reason)); }

std::string WithReason(const std::string& text, const std::string& reason) {
    return reason.empty() ? OneLine(text) : OneLine(text) + " (" + OneLine(reason) + ")";
}

} // namespace

EventReport::~EventReport() {
    if (attached_) ui::SetTerminalLineSource(nullptr);
}

void EventReport::WriteLine(const std::string& line) {
    // A live progress line on the same terminal gives up its row first; it comes back below.
    if (options_.format == ReportOptions::Format::Text) ui::ClearTerminalLine();
    std::fwrite(line.data(), 1, line.size(), options_.out);
    std::fputc('\n', options_.out);
    std::fflush(options_.out);
}

void EventReport::Emit(const Json& json, const std::string& text) {
    FlushProgress();
    // The closing summary is the last line; a window closed after the run still fires events.
    if (options_.quiet || finished_) return;
    if (options_.format == ReportOptions::Format::Json)
        WriteLine(json.dump(-1, ' ', false, Json::error_handler_t::replace));
    else if (!text.empty())
        WriteLine(text);
}

void EventReport::Progress(int fileidx, uint64_t size, uint64_t totsize) {
    // Kept whatever is printed: the line that ends the item tells how much it moved.
    if (!item_.moving || size < item_.figures.done) {
        item_.moving = true;
        item_.firstTick = rtl::GetTickCount();
        item_.firstDone = size;
    }
    item_.figures.done = size;
    item_.figures.total = totsize;
    if (options_.quiet || !options_.progress || finished_) return;
    if (!options_.everyProgress && fileidx == progress_.writtenFileidx && size == progress_.writtenSize &&
        totsize == progress_.writtenTotsize)
        return;
    progress_.pending = true;
    progress_.fileidx = fileidx;
    progress_.size = size;
    progress_.totsize = totsize;
    const uint32_t now = rtl::GetTickCount();
    if (options_.everyProgress || !progress_.everPrinted || now - progress_.printedAt >= kProgressGapMs) {
        progress_.printedAt = now;
        progress_.everPrinted = true;
        WriteProgress();
    }
}

void EventReport::FlushProgress() {
    if (progress_.pending) WriteProgress();
}

void EventReport::WriteProgress() {
    progress_.pending = false;
    progress_.writtenFileidx = progress_.fileidx;
    progress_.writtenSize = progress_.size;
    progress_.writtenTotsize = progress_.totsize;
    if (options_.format == ReportOptions::Format::Json) {
        // Built by hand: with every event asked for, this is the tool's hottest line.
        std::string line = R"({"event":"OnCopyProgress","fileidx":)";
        AppendNumber(line, progress_.fileidx);
        line += R"(,"size":)";
        AppendNumber(line, progress_.size);
        line += R"(,"totsize":)";
        AppendNumber(line, progress_.totsize);
        line += '}';
        WriteLine(line);
        return;
    }
    // The live line on the terminal already shows progress; a second copy would only scroll.
    if (ui::TerminalShowsLiveLine()) return;
    ProgressFigures figures = item_.figures;
    figures.name.clear(); // the item's line above names it
    figures.items = 0;
    figures.done = progress_.size;
    figures.total = progress_.totsize;
    figures.bytesPerSecond = RateNow();
    const std::string line = ProgressLine(figures, 0);
    WriteLine("  " + (line.empty() ? Bytes(0) : line)); // an empty file moved no figures
}

double EventReport::RateNow() const {
    if (!item_.moving) return -1;
    // Half a second of figures before a rate is shown: the first blocks only fill buffers.
    const uint32_t elapsed = rtl::GetTickCount() - item_.firstTick;
    if (elapsed < 500) return -1;
    return static_cast<double>(item_.figures.done - std::min(item_.figures.done, item_.firstDone)) * 1000.0 / elapsed;
}

std::optional<std::string> EventReport::LiveLine(size_t width) const {
    if (item_.idx < 0) return std::nullopt;
    if (item_.ended && options_.format == ReportOptions::Format::Text) return std::string();
    // Before its first block an item is connecting: its name, not the last item's figures that
    // the window's labels still hold.
    ProgressFigures figures = item_.figures;
    if (!item_.moving) figures.done = figures.total = 0;
    figures.bytesPerSecond = RateNow();
    return ProgressLine(figures, width);
}

std::string EventReport::ItemEndLine(const TZandrelWebCopy& wc, int idx) const {
    if (idx < 0 || idx >= wc.Items.Count() || idx != item_.idx) return "";
    const auto& item = wc.Items[idx];
    if (!item.Success() || !MovesFiles(item.Protocol)) return "";
    const uint64_t bytes = item_.finishedBytes + (item_.moving ? item_.figures.done : 0);
    std::string where;
    switch (item.Protocol) {
    case webcopy::wpHttp:
    case webcopy::wpFtp:
    case webcopy::wpFile: {
        // Where the routine wrote the file, a free name beside the old one included.
        where = item.StoredFilename().empty() ? item.TargetDir : item.StoredFilename();
        break;
    }
    case webcopy::wpFtpUpload: {
        const std::string name = !item.StoredFilename().empty()   ? item.StoredFilename()
                                 : !item.TargetFilename.empty() ? item.TargetFilename
                                                                : LastPart(item.URL);
        where = OnServer(item, JoinRemote(item.TargetDir, name));
        break;
    }
    case webcopy::wpHttpUpload: where = webcopy::MaskUrlPasswords(item.URL); break;
    case webcopy::wpMultiFtp:
        where = std::to_string(item_.filesDone) + (item_.filesDone == 1 ? " file into " : " files into ") +
                (item.TargetDir.empty() ? "." : item.TargetDir);
        break;
    case webcopy::wpMultiFtpUpload:
        where = std::to_string(item_.filesDone) + (item_.filesDone == 1 ? " file to " : " files to ") +
                OnServer(item, item.TargetDir);
        break;
    default: break;
    }
    const double seconds = Seconds(std::chrono::steady_clock::now() - item_.started);
    std::string line = "  item " + std::to_string(idx + 1) + " done: " + PrintableText(where) + ", " + Bytes(bytes);
    if (bytes >= 1024) line += " (" + Grouped(bytes) + " bytes)";
    line += " in " + Took(seconds);
    if (seconds > 0) line += ", " + Rate(static_cast<double>(bytes) / seconds);
    return line;
}

void EventReport::Attach(TZandrelWebCopy& wc, const JobHandlers& handlers) {
    TZandrelWebCopy* component = &wc;
    attached_ = true;
    ui::SetTerminalLineSource([this](size_t width) { return LiveLine(width); });
    wc.OnBeforeDialogShow = [this](TZandrelWebCopy&, ui::Form& dialog) {
        Emit(Json{{"event", "OnBeforeDialogShow"}, {"ADialog", TextToJson(dialog.Caption())}}, "");
    };
    wc.OnConnectError = [this, component](TZandrelWebCopy&) {
        // The reason (a refused login, an unknown share) is what a person acts on.
        const std::string& reason = component->LastErrorReason();
        const std::string text = WithReason("cannot connect", PrintableText(reason));
        outcomes_.Problem(text);
        Json json = Event("OnConnectError");
        json["reason"] = ReasonJson(reason);
        Emit(json, "  " + text);
    };
    wc.OnCopyCancel = [this](TZandrelWebCopy&) { Emit(Event("OnCopyCancel"), "  cancelled"); };
    wc.OnCopyDone = [this](TZandrelWebCopy&) { Emit(Event("OnCopyDone"), ""); };
    const std::optional<bool> overwrite = handlers.copyOverWrite;
    wc.OnCopyOverWrite = [this, overwrite](TZandrelWebCopy&, const std::string& tgtfile, bool& allow) {
        if (overwrite) allow = *overwrite;
        if (!allow) outcomes_.HandlerDeclined();
        Emit(Json{{"event", "OnCopyOverWrite"}, {"tgtfile", TextToJson(tgtfile)}, {"allow", allow}},
             "  " + PrintableText(tgtfile) + (allow ? " exists: replaced" : " exists: kept, not transferred"));
    };
    // The parameters are 64-bit whatever the component passes, so figures above 4 GiB survive.
    wc.OnCopyProgress = [this](TZandrelWebCopy&, int fileidx, uint64_t size, uint64_t totsize) {
        Progress(fileidx, size, totsize);
    };
    wc.OnError = [this, component](TZandrelWebCopy&, int code) {
        Json json = Event("OnError");
        json["ErrorCode"] = code;
        const std::string& reason = component->LastErrorReason();
        json["reason"] = ReasonJson(reason);
        Emit(json, ""); // the text comes with OnErrorInfo, which always follows
    };
    wc.OnErrorInfo = [this, component](TZandrelWebCopy&, int code, const std::string& info) {
        const std::string& reason = component->LastErrorReason();
        outcomes_.Problem(WithReason(PrintableText(info), PrintableText(reason)));
        Json json = Event("OnErrorInfo");
        json["ErrorCode"] = code;
        json["ErrorInfo"] = TextToJson(info);
        json["reason"] = ReasonJson(reason);
        Emit(json, "  error " + std::to_string(code) + ": " + WithReason(PrintableText(info), PrintableText(reason)));
    };
    wc.OnFileDone = [this, component](TZandrelWebCopy&, int idx) {
        if (idx >= 0 && idx < component->Items.Count() && !component->Items[idx].Success())
            outcomes_.EndedWithout(OneLine(PrintableText(component->LastErrorReason())));
        if (idx == item_.idx) item_.ended = true;
        const std::string ended = ItemEndLine(*component, idx);
        Emit(Json{{"event", "OnFileDone"}, {"idx", idx}},
             ended.empty() ? "  " + Describe(*component, idx) + " finished" : ended);
    };
    wc.OnFileStart = [this, component](TZandrelWebCopy&, int idx) {
        outcomes_.Started(idx);
        item_ = {};
        item_.idx = idx;
        item_.started = std::chrono::steady_clock::now();
        if (idx >= 0 && idx < component->Items.Count()) {
            item_.figures.name = PrintableText(ShownName(component->Items[idx]));
            item_.fileDate = component->Items[idx].FileDate;
            for (int i = 0; i < component->Items.Count(); ++i) {
                if (!component->Items[i].Active) continue;
                ++item_.figures.items;
                if (i <= idx) item_.figures.item = item_.figures.items;
            }
        }
        Emit(Json{{"event", "OnFileStart"}, {"idx", idx}}, Describe(*component, idx) + ":");
    };
    // A handler here changes what the transfers do, so it is only set when the job asks.
    if (handlers.fileDateCheck) {
        const bool answer = *handlers.fileDateCheck;
        wc.OnFileDateCheck = [this, answer](TZandrelWebCopy&, int idx, TDateTime newdate, bool& allow) {
            allow = answer;
            if (!allow) outcomes_.HandlerDeclined();
            Json json{{"event", "OnFileDateCheck"}, {"idx", idx}};
            AddDate(json, "newdate", newdate);
            json["allow"] = allow;
            Emit(json, "  the other side's file is of " + Iso(newdate) + (allow ? ": transferred" : ": not transferred"));
        };
    }
    wc.OnMultiFTPFileDone = [this](TZandrelWebCopy&, const std::string& name) {
        outcomes_.MultiFileDone();
        // The next file starts from nothing; this one's bytes count towards the item's.
        FlushProgress();
        if (item_.moving) item_.finishedBytes += item_.figures.done;
        item_.moving = false;
        item_.figures.done = item_.figures.total = 0;
        ++item_.filesDone;
        Emit(Json{{"event", "OnMultiFTPFileDone"}, {"Filename", TextToJson(name)}}, "  " + PrintableText(name));
    };
    // The event names no cause; the reason does ("550 Permission denied."), so with one the line
    // claims nothing the server did not say.
    wc.OnURLNotFound = [this, component](TZandrelWebCopy&, const std::string& url) {
        const std::string& reason = component->LastErrorReason();
        const std::string text = reason.empty() ? "not found: " + PrintableText(url)
                                                : WithReason("cannot get " + PrintableText(url), PrintableText(reason));
        outcomes_.Problem(text);
        Json json{{"event", "OnURLNotFound"}, {"url", TextToJson(url)}};
        json["reason"] = ReasonJson(reason);
        Emit(json, "  " + text);
    };
    // The component passes the other side's date as both of its dates (its routine has already
    // stored that date as the item's); what it was compared with is the date the item started with.
    wc.OnNoNewFileFound = [this](TZandrelWebCopy&, const std::string& tgtfile, TDateTime curdate, TDateTime newdate) {
        compared_[item_.idx] = {item_.fileDate, newdate};
        Json json{{"event", "OnNoNewFileFound"}, {"tgtfile", TextToJson(tgtfile)}};
        AddDate(json, "curdate", curdate);
        AddDate(json, "newdate", newdate);
        AddDate(json, "FileDate", item_.fileDate);
        Emit(json, "  nothing newer: " + PrintableText(tgtfile) + " is of " + Iso(newdate) + ", not newer than " +
                       Iso(item_.fileDate));
    };
    wc.OnRemovedFile = [this](TZandrelWebCopy&, int idx) {
        Emit(Json{{"event", "OnRemovedFile"}, {"idx", idx}}, "  removed");
    };
    wc.OnRemovedFileFailed = [this, component](TZandrelWebCopy&, int idx) {
        const std::string& reason = component->LastErrorReason();
        const std::string text = WithReason("could not remove the file", PrintableText(reason));
        outcomes_.Problem(text);
        Json json{{"event", "OnRemovedFileFailed"}, {"idx", idx}};
        json["reason"] = ReasonJson(reason);
        Emit(json, "  " + text);
    };
}

int EventReport::Finish(const TZandrelWebCopy& wc, int interruptSignal, bool brokeOff) {
    FlushProgress();
    finished_ = true;
    const std::vector<ItemOutcome> outcomes = outcomes_.Judge(wc);
    int status = ItemOutcomes::ExitStatus(outcomes, interruptSignal);
    if (brokeOff && status == kExitDone) status = kExitFailed;

    Json items = Json::array();
    std::vector<std::string> text;
    int done = 0, active = 0;
    for (int i = 0; i < wc.Items.Count(); ++i) {
        const auto& item = wc.Items[i];
        const ItemOutcome& outcome = outcomes[static_cast<size_t>(i)];
        Json fileList = nullptr;
        if (item.FileList()) {
            fileList = Json::array();
            for (const std::string& name : item.FileList()->Items()) fileList.push_back(TextToJson(name));
        }
        Json json{{"Status", StatusName(outcome.status)},
                  {"Reason", outcome.reason.empty() ? Json(nullptr) : Json(outcome.reason)},
                  {"Success", item.Success()},
                  {"Cancelled", item.Cancelled()},
                  {"NoNewVersion", item.NoNewVersion()}};
        AddDate(json, "NewFileDate", item.NewFileDate);
        json["FileList"] = std::move(fileList);
        // Where an upload may have gone under another name, the name it took.
        const bool renamed = item.WhenTargetExists == webcopy::teNextFreeName && !item.StoredFilename().empty();
        if (renamed) json["StoredFilename"] = TextToJson(item.StoredFilename());
        items.push_back(std::move(json));

        if (item.Active) ++active;
        if (item.Active && StatusIsDone(outcome.status)) ++done;
        std::string line = Describe(wc, i) + ": " + StatusName(outcome.status);
        if (renamed) line += " as " + PrintableText(item.StoredFilename());
        if (!outcome.reason.empty()) line += " - " + outcome.reason;
        else if (const auto dates = compared_.find(i);
                 outcome.status == ItemStatus::NoNewVersion && dates != compared_.end())
            line += " - the other side's file is of " + Iso(dates->second.second) + ", not newer than " +
                    Iso(dates->second.first);
        if (options_.quiet) {
            if (!StatusIsDone(outcome.status))
                std::fprintf(options_.err, "webcopy: %s\n", line.c_str());
            continue;
        }
        text.push_back(std::move(line));
        if (item.FileList())
            for (const std::string& name : item.FileList()->Items()) text.push_back("  " + PrintableText(name));
    }
    if (options_.quiet) return status;
    if (options_.format == ReportOptions::Format::Json) {
        WriteLine(Json{{"event", "done"}, {"exit", status}, {"items", std::move(items)}}.dump(
            -1, ' ', false, Json::error_handler_t::replace));
        return status;
    }
    for (const std::string& line : text) WriteLine(line);
    std::string summary = "done: " + std::to_string(done) + " of " + std::to_string(active) + " active items done";
    if (interruptSignal > 0) summary += ", stopped by a signal";
    WriteLine(summary + " (exit status " + std::to_string(status) + ")");
    return status;
}

} // namespace zandrel::tools
