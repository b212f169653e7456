// Drives one SFTP transfer through the platform's SSH layer, for bench/sftp_vs_openssh.sh:
//   sftp_driver up|down LOCAL REMOTE [--host H] --port N --user U --key FILE --known-hosts FILE [--cipher C]
// Exits 0 when the whole file went across, 1 with the reason on stderr otherwise.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <stdexcept>
#include <vector>

#include "platform/ssh/Sftp.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s up|down LOCAL REMOTE --port N --user U --key FILE --known-hosts FILE [--cipher C]\n",
                     argv[0]);
        return 2;
    }
    const std::string direction = argv[1], local = argv[2], remote = argv[3];
    zandrel::ssh::SessionOptions o;
    o.host = "127.0.0.1";
    for (int i = 4; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--host") o.host = value;
        else if (name == "--port") o.port = static_cast<uint16_t>(std::stoi(value));
        else if (name == "--user") o.user = value;
        else if (name == "--key") o.keyFile = value;
        else if (name == "--known-hosts") o.userKnownHosts = o.globalKnownHosts = value;
        else if (name == "--cipher") o.ciphers = value;
    }
    try {
        zandrel::ssh::SftpSession session(o);
        // A block as large as the layer's largest write, so every write goes out whole.
        std::vector<char> buffer(4 * session.WriteBlockSize());
        if (direction == "up") {
            FILE* in = std::fopen(local.c_str(), "rb");
            if (!in) throw std::runtime_error("cannot open " + local + ": " + std::strerror(errno));
            std::setvbuf(in, nullptr, _IONBF, 0);
            auto writer = session.OpenWrite(remote);
            while (const size_t n = std::fread(buffer.data(), 1, buffer.size(), in)) writer->Write(buffer.data(), n);
            std::fclose(in);
            writer->Close();
        } else {
            FILE* out = std::fopen(local.c_str(), "wb");
            if (!out) throw std::runtime_error("cannot create " + local + ": " + std::strerror(errno));
            std::setvbuf(out, nullptr, _IONBF, 0);
            auto reader = session.OpenRead(remote);
            while (const size_t n = reader->Read(buffer.data(), buffer.size()))
                if (std::fwrite(buffer.data(), 1, n, out) != n) throw std::runtime_error("cannot write " + local);
            if (std::fclose(out) != 0) throw std::runtime_error("cannot write " + local);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
