// One FTPS transfer through the Internet layer, in the 4096-byte blocks the FTP routines move, for
// bench/ftps_vs_curl.sh: the layer's own cost without the component around it (which does not
// offer FTPS yet). Passive mode, anonymous login; the server's certificate is trusted through
// SSL_CERT_FILE. Exits 0 when the server confirmed the transfer, else 1 with the reason.
//
// usage: ftps_transfer_driver up|down HOST PORT LOCAL_FILE REMOTE_NAME [implicit]
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/inet/Inet.h"

using namespace zandrel::inet;

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "%s failed (%u): %s\n", what, GetLastError(), InternetLastFailureReason().c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6 || (std::strcmp(argv[1], "up") != 0 && std::strcmp(argv[1], "down") != 0)) {
        std::fprintf(stderr, "usage: %s up|down HOST PORT LOCAL_FILE REMOTE_NAME [implicit]\n", argv[0]);
        return 2;
    }
    const bool up = std::strcmp(argv[1], "up") == 0;
    const bool implicitTls = argc > 6 && std::strcmp(argv[6], "implicit") == 0;
    HINTERNET root = InternetOpen("ftps_transfer_driver", INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
    HINTERNET connection = InternetConnect(
        root, argv[2], static_cast<INTERNET_PORT>(std::stoi(argv[3])), "", "", INTERNET_SERVICE_FTP,
        INTERNET_FLAG_PASSIVE | (implicitTls ? INTERNET_FLAG_FTPS_IMPLICIT : INTERNET_FLAG_FTPS_EXPLICIT), 0);
    if (!connection) return Fail("connect");
    FILE* local = std::fopen(argv[4], up ? "rb" : "wb");
    if (!local) {
        std::perror(argv[4]);
        return 1;
    }
    HINTERNET file = FtpOpenFile(connection, argv[5], up ? GENERIC_WRITE : GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file) return Fail("open");
    // The local file in large runs, as the component's file layer moves it: only the network
    // side goes in small blocks.
    static char fileBuffer[1 << 20];
    std::setvbuf(local, fileBuffer, _IOFBF, sizeof fileBuffer);
    char block[4096];
    for (;;) {
        DWORD moved = 0;
        if (up) {
            const size_t got = std::fread(block, 1, sizeof block, local);
            if (got == 0) break;
            if (!InternetWriteFile(file, block, static_cast<DWORD>(got), moved)) return Fail("write");
        } else {
            if (!InternetReadFile(file, block, sizeof block, moved)) return Fail("read");
            if (moved == 0) break;
            if (std::fwrite(block, 1, moved, local) != moved) {
                std::perror(argv[4]);
                return 1;
            }
        }
    }
    if (!InternetCloseHandle(file)) return Fail("close");
    if (std::fclose(local) != 0) {
        std::perror(argv[4]);
        return 1;
    }
    InternetCloseHandle(connection);
    InternetCloseHandle(root);
    return 0;
}
