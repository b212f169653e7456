// Uploads one file over FTP with the transfer component, printing its progress.
//   upload_with_progress FILE HOST PORT USER PASSWORD [REMOTE_DIR]
// Exits 0 when the file arrived whole; otherwise prints why and exits 1 (2 for bad arguments).
#include <cstdio>
#include <cstdlib>
#include <string>

#include <zandrel/webcopy/ZandrelWebCopy.h>

using zandrel::webcopy::TZandrelWebCopy;

int main(int argc, char** argv) {
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "usage: %s FILE HOST PORT USER PASSWORD [REMOTE_DIR]\n", argv[0]);
        return 2;
    }
    TZandrelWebCopy copy;
    copy.ShowDialog = false;  // a program of the terminal: progress goes to stdout below

    auto& item = copy.Items.Add();
    item.Protocol = zandrel::webcopy::wpFtpUpload;
    item.URL = argv[1];
    item.FTPHost = argv[2];
    item.FTPPort = std::atoi(argv[3]);
    item.FTPUserID = argv[4];
    item.FTPPassword = argv[5];
    if (argc == 7) item.TargetDir = argv[6];

    copy.OnCopyProgress = [](TZandrelWebCopy&, int fileidx, uint64_t size, uint64_t totsize) {
        std::printf("file %d: %llu of %llu bytes\n", fileidx, static_cast<unsigned long long>(size),
                    static_cast<unsigned long long>(totsize));
        std::fflush(stdout);
    };
    std::string failure;
    copy.OnErrorInfo = [&failure](TZandrelWebCopy& sender, int code, const std::string& info) {
        failure = sender.LastErrorReason().empty() ? info : sender.LastErrorReason();
        if (failure.empty()) failure = "error " + std::to_string(code);
    };

    copy.Execute();
    if (!item.Success()) {
        if (failure.empty()) failure = item.Cancelled() ? "the upload was cancelled" : "the upload failed";
        std::fprintf(stderr, "upload failed: %s\n", failure.c_str());
        return 1;
    }
    std::printf("uploaded %s\n", argv[1]);
    return 0;
}
