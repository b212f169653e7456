#pragma once
// Shared pieces of the Internet-layer tests: handles that close themselves, a logged-in
// connection to the test server, and whole-file transfers in the 4096-byte blocks the transfer
// routines use.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>

#include "fixtures/FtpServer.h"
#include "platform/inet/Inet.h"

namespace zandrel::inet::testing {

class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HINTERNET handle) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.Release();
        }
        return *this;
    }

    HINTERNET Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HINTERNET Release() { return std::exchange(handle_, nullptr); }
    void Reset() {
        if (handle_) InternetCloseHandle(std::exchange(handle_, nullptr));
    }

private:
    HINTERNET handle_ = nullptr;
};

// Installs an idle hook for the scope and puts the previous one back.
class IdleHookScope {
public:
    explicit IdleHookScope(IdleHook hook) : previous_(SetIdleHook(std::move(hook))) {}
    ~IdleHookScope() { SetIdleHook(std::move(previous_)); }

private:
    IdleHook previous_;
};

// Sets an environment variable for the scope.
class EnvScope {
public:
    EnvScope(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~EnvScope() {
        if (had_) setenv(name_, previous_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::string previous_;
    bool had_ = false;
};

inline ScopedHandle OpenRoot(DWORD timeoutMs = kDefaultTimeoutMs) {
    ScopedHandle root(InternetOpen("Zandrel tests", INTERNET_OPEN_TYPE_DIRECT, "", "", 0));
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOption(root.Get(), option, timeoutMs);
    return root;
}

inline ScopedHandle ConnectTo(HINTERNET root, const test::FtpServer& server, bool passive = false,
                              const std::string& user = "alice", const std::string& password = "secret") {
    return ScopedHandle(InternetConnect(root, server.Host(), server.Port(), user, password, INTERNET_SERVICE_FTP,
                                        passive ? INTERNET_FLAG_PASSIVE : 0, 0));
}

inline std::string RandomBytes(size_t size, unsigned seed = 7) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator());
    return bytes;
}

// Sends `content` in 4096-byte blocks and closes the file handle; true when all of it went out
// and the server confirmed the file.
inline bool Upload(HINTERNET connection, const std::string& name, const std::string& content) {
    HINTERNET file = FtpOpenFile(connection, name, GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file) return false;
    bool ok = true;
    for (size_t offset = 0; ok && offset < content.size(); offset += 4096) {
        const DWORD block = static_cast<DWORD>(std::min<size_t>(4096, content.size() - offset));
        DWORD written = 0;
        ok = InternetWriteFile(file, content.data() + offset, block, written) && written == block;
    }
    return InternetCloseHandle(file) && ok;
}

// Reads the whole file in 4096-byte blocks; false when a read failed, with the read's error
// still in GetLastError (closing the handle does not overwrite it).
inline bool Download(HINTERNET connection, const std::string& name, std::string& content) {
    content.clear();
    ScopedHandle file(FtpOpenFile(connection, name, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    if (!file) return false;
    char block[4096];
    for (int guard = 0; guard < 1'000'000; ++guard) {
        DWORD read = 0;
        if (!InternetReadFile(file.Get(), block, sizeof block, read)) {
            const DWORD error = GetLastError();
            file.Reset();
            SetLastError(error);
            return false;
        }
        if (read == 0) return true;
        content.append(block, read);
    }
    return false;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace zandrel::inet::testing
