// Cancel stops the whole run, at whatever stage it comes: a multi-file transfer touches no file
// after it, and a Cancel while the server keeps the client waiting (greeting, login, a folder, a
// date, a listing) ends the run as cancelled, not as a connection error.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "FtpTestSupport.h"
#include "platform/ui/Interrupt.h"

namespace zandrel::webcopy {
namespace {

using testing::AddFtpItem;
using testing::Bytes;
using testing::FtpRoutines;
using testing::FtpWebCopy;
using testing::Log;
using testing::ReadLocal;
using testing::WriteLocal;
namespace fs = std::filesystem;

TEST_F(FtpRoutines, AMultiFileTransferStopsAtTheFirstCancel) {
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
        WriteLocal(local_ / "src" / name, Bytes(64 * 1024));
        server_.WriteFile(std::string("pub/") + name, Bytes(64 * 1024));
    }
    for (TZandrelWebCopyProtocol protocol : {wpMultiFtpUpload, wpMultiFtp}) {
        const bool upload = protocol == wpMultiFtpUpload;
        FtpWebCopy wc;
        int blocks = 0;
        wc.OnCopyProgress = [&](TZandrelWebCopy& sender, int, uint64_t, uint64_t) {
            if (++blocks == 2) sender.CancelCopy();
        };
        if (upload) Add(wc, wpMultiFtpUpload, Local("src/*.bin"), "up");
        else Add(wc, wpMultiFtp, "pub/*.bin", Local("down"));
        Add(wc, wpFtpTest, "");
        wc.Execute();
        const std::string what = upload ? "upload" : "download";
        EXPECT_EQ(blocks, 2) << what;
        EXPECT_TRUE(wc.Items[0].Cancelled()) << what;
        EXPECT_FALSE(wc.Items[0].Success()) << what;
        EXPECT_EQ(wc.log, Log({"start 0", "copydone"})) << what;
        // No file after the cancelled one was touched.
        for (const char* later : {"b.bin", "c.bin"}) {
            EXPECT_FALSE(server_.AnyCommandContains(std::string("RETR ") + later)) << what << " " << later;
            EXPECT_FALSE(fs::exists(local_ / "down" / later)) << what << " " << later;
            EXPECT_FALSE(fs::exists(server_.Root() / "up" / later)) << what << " " << later;
        }
    }
}

// A Ctrl-C that no window takes (no dialog is shown) cancels the run before it logs in.
TEST_F(FtpRoutines, ACtrlCWithoutADialogCancelsTheRun) {
    WriteLocal(local_ / "a.txt", "a");
    FtpWebCopy wc;
    Add(wc, wpFtpUpload, Local("a.txt"));
    ui::RequestInterrupt();
    wc.Execute();
    ui::TakeInterrupt();
    EXPECT_TRUE(wc.Items[0].Cancelled());
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_EQ(wc.log, Log({"start 0", "copydone"}));
    EXPECT_EQ(server_.CountCommands("USER"), 0);
}

// Ctrl-C in the middle of an upload: the partial file is removed over the connection the upload
// used, which still answers, so the run ends at once even where a login is slow, and nothing is
// left behind. Also where the server reads slowly and the Ctrl-C comes while the upload waits for
// it to take more: the megabytes still on their way must not hold the server's answer back.
TEST(FtpCancelUpload, CtrlCMidUploadCleansUpOnTheLiveConnectionAtOnce) {
    struct Case {
        const char* name;
        uint32_t readRate; // bytes a second the server takes the upload in; 0: at once
        int cancelAt;      // the progress event after which Ctrl-C comes
        bool whileWaiting; // Ctrl-C a moment later, from another thread, while the upload waits
    };
    for (const Case& c : {Case{"fast reader", 0, 20, false}, Case{"slow reader", 1 << 20, 80, true}}) {
        test::FtpServerOptions options;
        options.rules = {"PASS delay 1.5"};
        options.uploadReadRate = c.readRate;
        test::FtpServer server(options);
        server.WriteFile("pub/big.bin", "old");
        const fs::path local = fs::temp_directory_path() / ("zandrel-cancel-up-" + std::to_string(::getpid()));
        WriteLocal(local / "big.bin", Bytes(8 << 20));
        FtpWebCopy wc;
        AddFtpItem(wc, server, wpFtpUpload, (local / "big.bin").string(), "pub");
        int blocks = 0;
        std::atomic<std::chrono::steady_clock::rep> pressedAt{0};
        auto press = [&] {
            pressedAt = std::chrono::steady_clock::now().time_since_epoch().count();
            ui::RequestInterrupt();
        };
        std::thread presser;
        wc.OnCopyProgress = [&](TZandrelWebCopy&, int, uint64_t, uint64_t) {
            if (++blocks != c.cancelAt) return;
            if (!c.whileWaiting) return press();
            presser = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                press();
            });
        };
        wc.Execute();
        const auto took = std::chrono::steady_clock::now() -
                          std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(pressedAt.load()));
        if (presser.joinable()) presser.join();
        ui::TakeInterrupt();
        fs::remove_all(local);
        EXPECT_TRUE(wc.Items[0].Cancelled()) << c.name;
        // A bound on behaviour, not a benchmark: a second login alone would take 1.5 s here.
        EXPECT_LT(took, std::chrono::milliseconds(1000))
            << c.name << ": " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
        EXPECT_EQ(server.CountCommands("PASS"), 1) << c.name;
        EXPECT_EQ(testing::Names(server.Root() / "pub"), std::vector<std::string>{"big.bin"}) << c.name;
        EXPECT_EQ(server.ReadFile("pub/big.bin"), "old") << c.name;
    }
}

// The server stops answering at one stage; the Cancel given meanwhile ends the run there.
TEST(FtpCancelWhileWaiting, ACancelWhileTheServerStallsEndsTheRunAsCancelled) {
    struct Case {
        std::string stage;
        std::vector<std::string> rules;
        bool mlsd;
        TZandrelWebCopyProtocol protocol;
        std::string url;
        std::string waitFor; // the command the server is stalling on ("" for the greeting)
    };
    const std::vector<Case> cases{
        {"greeting", {"greeting stall"}, true, wpFtp, "d.txt", ""},
        {"login", {"PASS stall"}, true, wpFtp, "d.txt", "PASS"},
        {"folder", {"CWD stall"}, true, wpFtp, "pub/d.txt", "CWD"},
        {"date", {"MDTM stall"}, false, wpFtp, "d.txt", "MDTM"},
        {"listing", {"MLSD stalldata"}, true, wpFtpList, "*.txt", "MLSD"},
        {"dripping reply", {"CWD drip 0.05"}, true, wpFtpList, "pub/*.txt", "CWD"},
    };
    for (const Case& c : cases) {
        test::FtpServerOptions options;
        options.rules = c.rules;
        options.mlsd = c.mlsd;
        test::FtpServer server(options);
        server.WriteFile("d.txt", "d");
        server.WriteFile("pub/d.txt", "d");
        const fs::path out = fs::temp_directory_path() / ("zandrel-cancel-" + std::to_string(::getpid()));
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = AddFtpItem(wc, server, c.protocol, c.url, out.string());
        item.CopyNewerOnly = c.stage == "date";
        std::atomic<bool> done{false};
        std::thread canceller([&] {
            // Cancel once the server is stalling on the stage (bounded: 10 s at most).
            for (int i = 0; i < 1000 && !done; ++i) {
                if (c.waitFor.empty() ? i == 30 : server.AnyCommandContains(c.waitFor)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    ui::RequestInterrupt();
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        wc.Execute();
        done = true;
        canceller.join();
        ui::TakeInterrupt();
        EXPECT_TRUE(wc.Items[0].Cancelled()) << c.stage;
        EXPECT_FALSE(wc.Items[0].Success()) << c.stage;
        // A Cancel is no connection error, and no other error either.
        EXPECT_EQ(wc.log, Log({"start 0", "copydone"})) << c.stage;
        EXPECT_FALSE(fs::exists(out / "d.txt")) << c.stage;
        fs::remove_all(out);
    }
}

} // namespace
} // namespace zandrel::webcopy
