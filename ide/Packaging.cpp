#include "ide/Packaging.h"

#include <cstdio>

#include "platform/automation/Automation.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Threads.h"
#include "platform/shell/Shell.h"

namespace zandrel::ide {

void SplitToList(char Delimiter, const std::string& Text, rtl::StringList* List) {
    rtl::Assert(List != nullptr, "ZandrelIDE", 131);
    List->Clear();
    List->SetDelimiter(Delimiter);
    List->SetDelimitedText(Text);
}

bool WriteEmptyArchiveStub(const std::string& ArchivePath) {
    // The end record of an empty archive (signature, then all counts, sizes and offsets zero)
    // and two further zero bytes.
    static constexpr unsigned char kStub[24] = {0x50, 0x4B, 0x05, 0x06};
    std::FILE* f = std::fopen(ArchivePath.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(kStub, 1, sizeof kStub, f) == sizeof kStub;
    return std::fclose(f) == 0 && ok;
}

void ShellZipFolder(const std::string& ArchivePath, const std::string& SourceFolder, const std::string& Filter) {
    using automation::Variant;
    if (!rtl::FileExists(ArchivePath)) WriteEmptyArchiveStub(ArchivePath);
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
    // that our copy has finished ends the wait too.
    while (CountProcessThreads() != before) {
        if (!copyStarted || shell::CompletedCopies() > copiesBefore) break;
        rtl::Sleep(10);
    }
}

int CountProcessThreads() { return rtl::CountProcessThreads(); }

bool ShellDeleteFolder(const std::string& Folder) {
    try {
        return shell::MoveToTrash(Folder).outcome == shell::TrashOutcome::Trashed;
    } catch (...) {
        return false;
    }
}

} // namespace zandrel::ide
