// Packs a folder the way the "Zip Project" command does, for the benchmark script: stage the
// folder's files with the kernel's copy, write the empty-archive stub, have "Shell.Application"
// copy the staged files into the archive, wait for the copy, move the staging folder to the trash
// (removing it for good only where there is no trash).
// Prints the phase times in milliseconds on one line.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/automation/Automation.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Threads.h"
#include "platform/shell/Shell.h"

namespace {

using Clock = std::chrono::steady_clock;
using zandrel::automation::Variant;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int Run(const std::string& sourceFolder, const std::string& archivePath) {
    namespace rtl = zandrel::rtl;
    const std::string stagingDir = archivePath.substr(0, archivePath.size() - 4) + "output";
    const auto start = Clock::now();

    rtl::ForceDirectories(stagingDir);
    int staged = 0;
    for (const auto& entry : rtl::FindFiles(sourceFolder, "*.*", rtl::faAnyFile))
        if (rtl::CopyFile(sourceFolder + "/" + entry.name, stagingDir + "/" + entry.name, false)) ++staged;
    const double stageMs = MillisecondsSince(start);

    const auto packStart = Clock::now();
    if (rtl::FileExists(archivePath)) rtl::DeleteFile(archivePath);
    if (std::FILE* f = std::fopen(archivePath.c_str(), "wb")) {
        static const unsigned char stub[24] = {0x50, 0x4B, 0x05, 0x06};
        std::fwrite(stub, 1, sizeof stub, f);
        std::fclose(f);
    }
    const int threadsBefore = rtl::CountProcessThreads();
    const uint64_t completedBefore = zandrel::shell::CompletedCopies();
    auto shell = zandrel::automation::CreateObject("Shell.Application");
    const Variant source = shell->Invoke("NameSpace", {Variant(stagingDir)});
    const Variant target = shell->Invoke("NameSpace", {Variant(archivePath)});
    const Variant items = source.AsObject()->Invoke("Items", {});
    items.AsObject()->Invoke("Filter", {Variant(0xC0), Variant("*.*")});
    target.AsObject()->Invoke("CopyHere", {items, Variant(0)});
    while (rtl::CountProcessThreads() != threadsBefore && zandrel::shell::CompletedCopies() == completedBefore)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double packMs = MillisecondsSince(packStart);

    const auto cleanStart = Clock::now();
    if (zandrel::shell::MoveToTrash(stagingDir).outcome != zandrel::shell::TrashOutcome::Trashed)
        std::filesystem::remove_all(stagingDir);
    const double cleanMs = MillisecondsSince(cleanStart);

    const std::string error = zandrel::shell::LastCopyError();
    std::printf("staged=%d stage_ms=%.1f pack_ms=%.1f clean_ms=%.1f total_ms=%.1f\n", staged, stageMs, packMs, cleanMs,
                MillisecondsSince(start));
    if (!error.empty()) {
        std::fprintf(stderr, "the copy failed: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE_FOLDER ARCHIVE.zip\n", argv[0]);
        return 2;
    }
    try {
        return Run(std::filesystem::absolute(argv[1]).string(), std::filesystem::absolute(argv[2]).string());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
