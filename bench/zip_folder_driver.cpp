// Packs a folder the way the "Zip Project" command does, for the benchmark script: stage the
// folder's files in a fresh folder (hard links where the file system allows, copies otherwise),
// start the new archive beside the old one, have "Shell.Application" copy the staged files into
// it, wait for the copy, delete the staged entries for good and move the new archive into place.
// Prints the phase times in milliseconds on one line.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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
    const auto start = Clock::now();

    const std::string stagingDir = rtl::CreateFreshDirectory(archivePath.substr(0, archivePath.size() - 4) + "output");
    std::vector<std::string> staged;
    for (const auto& entry : rtl::FindFiles(sourceFolder, "*.*", rtl::faAnyFile)) {
        const auto r = rtl::LinkOrCopyFile(sourceFolder + "/" + entry.name, stagingDir + "/" + entry.name);
        if (r.outcome == rtl::StageResult::Linked || r.outcome == rtl::StageResult::Copied)
            staged.push_back(stagingDir + "/" + entry.name);
    }
    const double stageMs = MillisecondsSince(start);

    const auto packStart = Clock::now();
    static const std::string stub = std::string("PK\x05\x06", 4) + std::string(20, '\0');
    const std::string folder = rtl::ExtractFileDir(archivePath);
    const std::string newArchive = rtl::CreateUniqueFile(folder, ".zandrel-bench-", stub);
    const int threadsBefore = rtl::CountProcessThreads();
    const uint64_t completedBefore = zandrel::shell::CompletedCopies();
    auto shell = zandrel::automation::CreateObject("Shell.Application");
    const Variant source = shell->Invoke("NameSpace", {Variant(stagingDir)});
    const Variant target = shell->Invoke("NameSpace", {Variant(newArchive)});
    const Variant items = source.AsObject()->Invoke("Items", {});
    items.AsObject()->Invoke("Filter", {Variant(0xC0), Variant("*.*")});
    target.AsObject()->Invoke("CopyHere", {items, Variant(0)});
    while (rtl::CountProcessThreads() != threadsBefore && zandrel::shell::CompletedCopies() == completedBefore)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double packMs = MillisecondsSince(packStart);

    const auto cleanStart = Clock::now();
    for (const auto& file : staged) rtl::DeleteFile(file);
    rtl::RemoveDirectory(stagingDir);
    const auto report = zandrel::shell::LastCopyReport();
    const std::string moved = report.error.empty() ? rtl::ReplaceFile(newArchive, archivePath) : "";
    if (!report.error.empty()) rtl::DeleteFile(newArchive);
    const double cleanMs = MillisecondsSince(cleanStart);

    std::printf("staged=%zu stage_ms=%.1f pack_ms=%.1f clean_ms=%.1f total_ms=%.1f\n", staged.size(), stageMs, packMs,
                cleanMs, MillisecondsSince(start));
    if (!report.error.empty() || !moved.empty() || !report.leftOut.empty()) {
        std::fprintf(stderr, "the copy failed: %s%s (%zu files left out)\n", report.error.c_str(), moved.c_str(),
                     report.leftOut.size());
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
