#include "ide/Packaging.h"

#include "platform/automation/Automation.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Threads.h"

namespace zandrel::ide {

void SplitToList(char Delimiter, const std::string& Text, rtl::StringList* List) {
    rtl::Assert(List != nullptr, "ZandrelIDE", 131);
    List->Clear();
    List->SetDelimiter(Delimiter);
    List->SetDelimitedText(Text);
}

std::string EmptyArchiveStub() {
    // The end record of an empty archive (signature, then all counts, sizes and offsets zero)
    // and two further zero bytes.
    return std::string("PK\x05\x06", 4) + std::string(20, '\0');
}

shell::CopyReport ShellZipFolder(const std::string& ArchivePath, const std::string& SourceFolder,
                                 const std::string& Filter) {
    using automation::Variant;
    // Never onto something that is not a file of its own: a link, a pipe, a device.
    if (rtl::KindOfPath(ArchivePath) == rtl::PathKind::Missing) {
        const std::string error = rtl::CreateNewFile(ArchivePath, EmptyArchiveStub());
        if (!error.empty()) {
            shell::CopyReport report;
            report.error = error;
            return report;
        }
    }
    const int before = CountProcessThreads();
    const uint64_t copiesBefore = shell::CompletedCopies();

    auto shellApp = automation::CreateObject("Shell.Application");
    const Variant source = shellApp->Invoke("NameSpace", {Variant(SourceFolder)});
    const Variant target = shellApp->Invoke("NameSpace", {Variant(ArchivePath)});
    const Variant items = source.AsObject()->Invoke("Items", {});
    if (!Filter.empty()) items.AsObject()->Invoke("Filter", {Variant(0xC0), Variant(Filter)});
    const uint64_t started = shell::StartedCopies();
    target.AsObject()->Invoke("CopyHere", {items, Variant(0)});
    const bool copyStarted = shell::StartedCopies() != started;

    // The copy runs on a thread of its own; the process is back to its old thread count when it
    // is done. Other threads (the toolkit's own) may come and go meanwhile, so the shell's word
    // that our copy has finished ends the wait too. Ctrl-C reaches the copy itself, which then
    // ends within a moment.
    while (CountProcessThreads() != before) {
        if (!copyStarted || shell::CompletedCopies() > copiesBefore) break;
        rtl::Sleep(10);
    }
    while (copyStarted && shell::CompletedCopies() == copiesBefore) rtl::Sleep(10);
    if (!copyStarted) {
        shell::CopyReport report;
        report.error = "the shell did not start packing";
        return report;
    }
    return shell::LastCopyReport();
}

int CountProcessThreads() { return rtl::CountProcessThreads(); }

} // namespace zandrel::ide
