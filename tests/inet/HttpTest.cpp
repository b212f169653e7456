// HTTP and HTTPS through the Internet layer against a real server on 127.0.0.1: bodies in every
// framing, headers, redirects, kept connections, proxies, uploads, broken and stalled servers,
// unsafe input, and certificates.
#include <cstdlib>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>

#include "fixtures/HttpServer.h"
#include "inet/InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

using test::HttpServer;
using test::HttpServerOptions;

std::string Content(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return text;
}

// Reads the whole body in 4096-byte blocks; false (and the error in `error`) when a read fails.
bool ReadAll(HINTERNET request, std::string& body, DWORD& error) {
    char block[4096];
    for (int rounds = 0; rounds < 1000000; ++rounds) {
        DWORD got = 0;
        if (!InternetReadFile(request, block, sizeof block, got)) {
            error = GetLastError();
            return false;
        }
        if (got == 0) return true;
        body.append(block, got);
    }
    return false;
}

DWORD Status(HINTERNET request) {
    DWORD status = 0;
    EXPECT_TRUE(HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status));
    return status;
}

class HttpLayer : public ::testing::Test {
protected:
    HttpServer server_;
    ScopedHandle root_ = OpenRoot();
};

TEST_F(HttpLayer, BodiesArriveWholeInEveryFraming) {
    const std::string content = Content(300000);
    server_.WriteFile("big.bin", content);
    server_.WriteFile("empty.bin", "");
    struct Case {
        std::string path;
        std::string expected;
    };
    for (const Case& c : {Case{"/files/big.bin", content}, Case{"/chunked/big.bin", content},
                          Case{"/close/big.bin", content}, Case{"/files/empty.bin", ""}}) {
        SCOPED_TRACE(c.path);
        ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + c.path, "", 0, 0));
        ASSERT_TRUE(request) << InternetLastFailureReason();
        EXPECT_EQ(Status(request.Get()), 200u);
        std::string body;
        DWORD error = 0;
        EXPECT_TRUE(ReadAll(request.Get(), body, error)) << error << " " << InternetLastFailureReason();
        EXPECT_TRUE(body == c.expected) << body.size() << " bytes instead of " << c.expected.size();
    }
}

TEST_F(HttpLayer, HeadersAnswerAsNumbersAndDates) {
    const auto path = server_.WriteFile("dated.bin", Content(1234));
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}}; // 2023-11-14 22:13:20 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + "/files/dated.bin", "", 0, 0));
    ASSERT_TRUE(request);
    DWORD length = 0;
    uint64_t length64 = 0;
    EXPECT_TRUE(HttpQueryInfo(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, length));
    EXPECT_TRUE(HttpQueryInfo64(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, length64));
    EXPECT_EQ(length, 1234u);
    EXPECT_EQ(length64, 1234u);
    rtl::SYSTEMTIME st;
    ASSERT_TRUE(HttpQueryInfo(request.Get(), HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, st));
    EXPECT_EQ(st.wYear, 2023);
    EXPECT_EQ(st.wMonth, 11);
    EXPECT_EQ(st.wDay, 14);
    EXPECT_EQ(st.wHour, 22);
    EXPECT_EQ(st.wMinute, 13);
    EXPECT_EQ(st.wSecond, 20);

    // Missing headers fail and leave the value alone.
    ScopedHandle chunked(InternetOpenUrl(root_.Get(), server_.Base() + "/chunked/dated.bin", "", 0, 0));
    ScopedHandle undated(InternetOpenUrl(root_.Get(), server_.Base() + "/nodate/dated.bin", "", 0, 0));
    length = 77;
    EXPECT_FALSE(HttpQueryInfo(chunked.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, length));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
    EXPECT_EQ(length, 77u);
    rtl::SYSTEMTIME untouched;
    untouched.wYear = 1999;
    EXPECT_FALSE(HttpQueryInfo(undated.Get(), HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, untouched));
    EXPECT_EQ(untouched.wYear, 1999);
}

TEST_F(HttpLayer, ErrorStatusesAreAnsweredNotFailed) {
    for (DWORD code : {401u, 404u, 500u}) {
        ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + "/status/" + std::to_string(code), "", 0, 0));
        ASSERT_TRUE(request);
        EXPECT_EQ(Status(request.Get()), code);
    }
}

TEST_F(HttpLayer, ConnectionsAreKeptAcrossRequestsOfOneRoot) {
    server_.WriteFile("a.txt", "alpha");
    for (const char* path : {"/files/a.txt", "/status/404", "/files/a.txt"}) {
        ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + path, "", 0, 0));
        ASSERT_TRUE(request);
        std::string body;
        DWORD error = 0;
        if (Status(request.Get()) == 200) {
            EXPECT_TRUE(ReadAll(request.Get(), body, error));
        }
    }
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].connection, requests[1].connection);
    EXPECT_EQ(requests[1].connection, requests[2].connection);
}

TEST_F(HttpLayer, RedirectsAreFollowedWithinBounds) {
    server_.WriteFile("target.txt", "arrived");
    for (int code : {301, 302, 303, 307, 308}) {
        SCOPED_TRACE(code);
        ScopedHandle request(InternetOpenUrl(
            root_.Get(), server_.Base() + "/redirect?code=" + std::to_string(code) + "&to=/files/target.txt", "", 0, 0));
        ASSERT_TRUE(request) << InternetLastFailureReason();
        EXPECT_EQ(Status(request.Get()), 200u);
        std::string body;
        DWORD error = 0;
        EXPECT_TRUE(ReadAll(request.Get(), body, error));
        EXPECT_EQ(body, "arrived");
    }
    EXPECT_FALSE(InternetOpenUrl(root_.Get(), server_.Base() + "/loop", "", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_REDIRECT_FAILED);
}

TEST_F(HttpLayer, CredentialsStayWithTheirServer) {
    HttpServer other;
    other.WriteFile("x.txt", "x");
    ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + "/redirect?to=" + other.Base() + "/files/x.txt",
                                         "Authorization: Basic YWxpY2U6c2VjcmV0\r\n\r\n", 0, 0));
    ASSERT_TRUE(request);
    EXPECT_EQ(Status(request.Get()), 200u);
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(server_.Requests()[0].authorization, "Basic YWxpY2U6c2VjcmV0");
    ASSERT_EQ(other.Requests().size(), 1u);
    EXPECT_EQ(other.Requests()[0].authorization, "");
}

TEST_F(HttpLayer, ABodyCutShortFails) {
    server_.WriteFile("cut.bin", Content(100000));
    for (const char* path : {"/cut/cut.bin?bytes=50000", "/cut/cut.bin?bytes=0"}) {
        SCOPED_TRACE(path);
        ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + path, "", 0, 0));
        ASSERT_TRUE(request);
        std::string body;
        DWORD error = 0;
        EXPECT_FALSE(ReadAll(request.Get(), body, error));
        EXPECT_EQ(error, ERROR_INTERNET_CONNECTION_ABORTED);
        EXPECT_NE(InternetLastFailureReason().find("short"), std::string::npos) << InternetLastFailureReason();
    }
}

// Framings a body cannot be read from safely are refused before any byte of it is handed out;
// those that say the same thing twice, or a length beside chunks, are read as the chunks or the
// one length say.
TEST_F(HttpLayer, AmbiguousOrUndecodableFramingIsRefused) {
    struct Case {
        std::string kind;
        std::string refusal; // empty: the body is read
    };
    const std::vector<Case> cases = {
        {"twolengths", "two different Content-Length headers (5 and 11)"},
        {"gzipchunked", "a Transfer-Encoding this program does not decode: gzip, chunked"},
        {"samelengths", ""},
        {"chunkedlength", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + "/framing/" + c.kind, "", 0, 0));
        if (!c.refusal.empty()) {
            EXPECT_FALSE(request);
            EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_SERVER_RESPONSE);
            EXPECT_EQ(InternetLastFailureReason(), c.refusal);
            continue;
        }
        ASSERT_TRUE(request) << InternetLastFailureReason();
        std::string body;
        DWORD error = 0;
        EXPECT_TRUE(ReadAll(request.Get(), body, error)) << InternetLastFailureReason();
        EXPECT_EQ(body, "hello world");
    }
}

TEST_F(HttpLayer, AStalledServerTimesOutOrIsCancelled) {
    server_.WriteFile("slow.bin", Content(5000));
    ScopedHandle quick = OpenRoot(300);
    EXPECT_FALSE(InternetOpenUrl(quick.Get(), server_.Base() + "/stallhead", "", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);

    // The body never comes: the read waits in slices, and the third look at the hook cancels.
    ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + "/stall/slow.bin", "", 0, 0));
    ASSERT_TRUE(request);
    int looks = 0;
    IdleHookScope hook([&looks] { return ++looks < 3; });
    std::string body;
    DWORD error = 0;
    EXPECT_FALSE(ReadAll(request.Get(), body, error));
    EXPECT_EQ(error, ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_GE(looks, 3);

    looks = 0;
    EXPECT_FALSE(InternetOpenUrl(root_.Get(), server_.Base() + "/stallhead", "", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
}

TEST_F(HttpLayer, LineBreaksAndNulsNeverReachTheServer) {
    ScopedHandle connection(InternetConnect(root_.Get(), "127.0.0.1:" + std::to_string(server_.Port()), 0, "", "",
                                            INTERNET_SERVICE_HTTP, 0, 0));
    ASSERT_TRUE(connection);
    const std::string base = server_.Base();
    const std::string nul("a\0b", 3);
    EXPECT_FALSE(InternetOpenUrl(root_.Get(), base + "/files/a\r\nX-Evil: 1", "", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(InternetOpenUrl(root_.Get(), base + "/files/" + nul, "", 0, 0));
    EXPECT_FALSE(InternetOpenUrl(root_.Get(), base + "/files/a", "X-A: 1\rX-B: 2\r\n", 0, 0));
    EXPECT_FALSE(InternetOpenUrl(root_.Get(), "http://us%0d%0aer:pw@127.0.0.1:" + std::to_string(server_.Port()) + "/", "", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(HttpOpenRequest(connection.Get(), "PUT", "/upload/a\nb", "", "", 0, 0));
    EXPECT_FALSE(HttpOpenRequest(connection.Get(), "PUT /x HTTP/1.1\r\n", "/upload/a", "", "", 0, 0));
    EXPECT_FALSE(InternetConnect(root_.Get(), "127.0.0.1", 0, "bob\r\nX: y", "pw", INTERNET_SERVICE_HTTP, 0, 0));
    EXPECT_FALSE(InternetConnect(root_.Get(), "127.0.0.1", 0, "bob", nul, INTERNET_SERVICE_HTTP, 0, 0));
    EXPECT_TRUE(server_.Requests().empty());
}

// Sends `content` with `verb` to `path`; the request handle with its response, or null with the
// failing call's error in `error`.
ScopedHandle SendWithError(DWORD& error, HINTERNET root, const HttpServer& server, const std::string& verb, const std::string& path,
                  const std::string& content, uint64_t announce) {
    ScopedHandle connection(InternetConnect(root, "127.0.0.1:" + std::to_string(server.Port()), 80, "", "",
                                            INTERNET_SERVICE_HTTP, 0, 0));
    auto failed = [&error] {
        error = GetLastError();
        return ScopedHandle();
    };
    if (!connection) return failed();
    ScopedHandle request(HttpOpenRequest(connection.Get(), verb, path, "", "", INTERNET_FLAG_NO_CACHE_WRITE, 0));
    connection.Release(); // closed with the root
    if (!request || !HttpSendRequestEx(request.Get(), announce, HSR_INITIATE, 0)) return failed();
    for (size_t at = 0; at < content.size(); at += 4096) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(4096, content.size() - at));
        if (!InternetWriteFile(request.Get(), content.data() + at, piece, written)) return failed();
    }
    if (!HttpEndRequest(request.Get(), 0, 0)) return failed();
    return request;
}

ScopedHandle Send(HINTERNET root, const HttpServer& server, const std::string& verb, const std::string& path,
                  const std::string& content, uint64_t announce) {
    DWORD ignored = 0;
    return SendWithError(ignored, root, server, verb, path, content, announce);
}

TEST_F(HttpLayer, UploadsStreamTheirBodyWithEitherVerb) {
    const std::string content = Content(200000);
    for (const std::string verb : {"PUT", "POST"}) {
        ScopedHandle request = Send(root_.Get(), server_, verb, "/upload/" + verb + ".bin", content, content.size());
        ASSERT_TRUE(request) << InternetLastFailureReason();
        EXPECT_EQ(Status(request.Get()), 201u);
        EXPECT_TRUE(server_.ReadFile("uploads/" + verb + ".bin") == content);
    }
    ScopedHandle refused = Send(root_.Get(), server_, "PUT", "/reject/x.bin", content, content.size());
    ASSERT_TRUE(refused);
    EXPECT_EQ(Status(refused.Get()), 403u);
    ScopedHandle empty = Send(root_.Get(), server_, "PUT", "/upload/empty.bin", "", 0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(Status(empty.Get()), 201u);
}

TEST_F(HttpLayer, AnUploadShortOfItsAnnouncedLengthNeverCompletes) {
    const std::string content = Content(10000);
    DWORD error = 0;
    EXPECT_FALSE(SendWithError(error, root_.Get(), server_, "PUT", "/upload/short.bin", content, content.size() + 1));
    EXPECT_EQ(error, ERROR_INTERNET_CONNECTION_ABORTED);
    EXPECT_FALSE(std::filesystem::exists(server_.Root() / "uploads" / "short.bin"));
    // More than announced is refused before it goes out.
    EXPECT_FALSE(SendWithError(error, root_.Get(), server_, "PUT", "/upload/long.bin", content, content.size() - 1));
    EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
}

TEST_F(HttpLayer, AnUploadToAServerThatStopsReadingIsCancelled) {
    const std::string content = Content(64 * 1024 * 1024); // far beyond what the socket buffers hold
    ScopedHandle connection(InternetConnect(root_.Get(), "127.0.0.1:" + std::to_string(server_.Port()), 0, "", "",
                                            INTERNET_SERVICE_HTTP, 0, 0));
    ScopedHandle request(HttpOpenRequest(connection.Get(), "PUT", "/stallput/x.bin", "", "", 0, 0));
    ASSERT_TRUE(HttpSendRequestEx(request.Get(), content.size(), HSR_INITIATE, 0));
    int looks = 0;
    IdleHookScope hook([&looks] { return ++looks < 20; });
    DWORD written = 0;
    bool failed = false;
    for (size_t at = 0; at < content.size() && !failed; at += 1 << 20)
        failed = !InternetWriteFile(request.Get(), content.data() + at, 1 << 20, written);
    EXPECT_TRUE(failed);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_FALSE(HttpEndRequest(request.Get(), 0, 0));
}

TEST_F(HttpLayer, AProxyGetsAbsoluteUrlsAndItsCredentials) {
    server_.WriteFile("p.txt", "proxied");
    const std::string proxy = "http://carol:pw@127.0.0.1:" + std::to_string(server_.Port());
    ScopedHandle root(InternetOpen("tests", INTERNET_OPEN_TYPE_PROXY, proxy, "", 0));
    ScopedHandle request(InternetOpenUrl(root.Get(), "http://files.invalid/files/p.txt", "", 0, 0));
    ASSERT_TRUE(request) << InternetLastFailureReason();
    std::string body;
    DWORD error = 0;
    EXPECT_TRUE(ReadAll(request.Get(), body, error));
    EXPECT_EQ(body, "proxied");
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(server_.Requests()[0].path, "http://files.invalid/files/p.txt");
    EXPECT_EQ(server_.Requests()[0].proxyAuthorization, "Basic Y2Fyb2w6cHc=");

    // The environment's proxy, and its bypass list.
    EnvScope httpProxy("http_proxy", "http://127.0.0.1:" + std::to_string(server_.Port()));
    EnvScope noProxy("no_proxy", "example.invalid");
    ScopedHandle preconfigured(InternetOpen("tests", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0));
    ScopedHandle viaEnv(InternetOpenUrl(preconfigured.Get(), "http://files.invalid/files/p.txt", "", 0, 0));
    ASSERT_TRUE(viaEnv) << InternetLastFailureReason();
    EXPECT_FALSE(InternetOpenUrl(preconfigured.Get(), "http://www.example.invalid/files/p.txt", "", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
}

class HttpsLayer : public ::testing::Test {
protected:
    HttpServer server_{HttpServerOptions{.tls = true}};
    EnvScope trust_{"SSL_CERT_FILE", server_.Certificate().string()};
    ScopedHandle root_ = OpenRoot();
};

TEST_F(HttpsLayer, DownloadsAndUploadsOverTls) {
    const std::string content = Content(150000);
    server_.WriteFile("s.bin", content);
    ScopedHandle request(InternetOpenUrl(root_.Get(), server_.Base() + "/files/s.bin", "", 0, 0));
    ASSERT_TRUE(request) << InternetLastFailureReason();
    std::string body;
    DWORD error = 0;
    EXPECT_TRUE(ReadAll(request.Get(), body, error)) << InternetLastFailureReason();
    EXPECT_TRUE(body == content);

    ScopedHandle connection(InternetConnect(root_.Get(), "127.0.0.1:" + std::to_string(server_.Port()), 0, "", "",
                                            INTERNET_SERVICE_HTTP, 0, 0));
    ScopedHandle put(HttpOpenRequest(connection.Get(), "PUT", "/upload/up.bin", "", "", INTERNET_FLAG_SECURE, 0));
    ASSERT_TRUE(HttpSendRequestEx(put.Get(), content.size(), HSR_INITIATE, 0)) << InternetLastFailureReason();
    DWORD written = 0;
    ASSERT_TRUE(InternetWriteFile(put.Get(), content.data(), static_cast<DWORD>(content.size()), written));
    ASSERT_TRUE(HttpEndRequest(put.Get(), 0, 0)) << InternetLastFailureReason();
    EXPECT_EQ(Status(put.Get()), 201u);
    EXPECT_TRUE(server_.ReadFile("uploads/up.bin") == content);
}

TEST_F(HttpsLayer, RedirectsToPlainHttpAreRefused) {
    HttpServer plain;
    plain.WriteFile("x.txt", "x");
    EXPECT_FALSE(InternetOpenUrl(root_.Get(), server_.Base() + "/redirect?to=" + plain.Base() + "/files/x.txt", "", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
    EXPECT_TRUE(plain.Requests().empty());
}

TEST(HttpsTrust, UntrustedOrMisnamedCertificatesAreRefused) {
    HttpServer misnamed(HttpServerOptions{.tls = true, .san = "DNS:elsewhere.invalid"});
    misnamed.WriteFile("x.txt", "x");
    ScopedHandle root = OpenRoot();
    {
        EnvScope trust("SSL_CERT_FILE", misnamed.Certificate().string());
        EXPECT_FALSE(InternetOpenUrl(root.Get(), misnamed.Base() + "/files/x.txt", "", 0, 0));
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_SEC_CERT_ERRORS) << InternetLastFailureReason();
    }
    HttpServer unknown(HttpServerOptions{.tls = true});
    unknown.WriteFile("x.txt", "x");
    EnvScope trust("SSL_CERT_FILE", misnamed.Certificate().string()); // trusts another certificate
    EXPECT_FALSE(InternetOpenUrl(root.Get(), unknown.Base() + "/files/x.txt", "", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_SEC_CERT_ERRORS) << InternetLastFailureReason();
    EXPECT_TRUE(unknown.Requests().empty());
}

} // namespace
} // namespace zandrel::inet::testing
