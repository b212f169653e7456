// The bypass list: which servers are reached without the proxy.
#include <gtest/gtest.h>

#include "platform/inet/ProxyBypass.h"

namespace zandrel::inet::detail {
namespace {

struct BypassCase {
    const char* host;
    const char* bypass;
    bool direct;
};

TEST(ProxyBypass, NamesAddressesAndNetworks) {
    const BypassCase cases[] = {
        {"files.example.org", "", false},
        {"files.example.org", "*", true},
        {"files.example.org", "example.org", true},
        {"files.example.org", ".example.org", true},
        {"FILES.Example.org", "example.ORG", true},
        {"example.org", ".example.org", true},
        {"badexample.org", "example.org", false},   // a suffix is not a subdomain
        {"example.org.evil", "example.org", false},
        {"files.example.org", "other.org, example.org", true},
        {"files.example.org", "other.org;example.org", true},
        {"files.example.org", "other.org example.org", true},
        {"files.example.org", "example.org:8080", true}, // the entry's port is ignored
        {"intranet", "<local>", true},
        {"files.example.org", "<local>", false},
        {"::1", "<local>", false},
        {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.2", "127.0.0.1", false},
        {"10.1.2.3", "10.0.0.0/8", true},
        {"11.1.2.3", "10.0.0.0/8", false},
        {"192.168.7.9", "192.168.0.0/16", true},
        {"192.168.7.9", "192.168.7.9/32", true},
        {"192.168.7.9", "0.0.0.0/0", true},
        {"::1", "::1", true},
        {"::1", "[::1]:8080", true},
        {"[::1]", "::1", true},
        {"fd00::5", "fd00::/8", true},
        {"fe80::5", "fd00::/8", false},
        {"10.1.2.3", "fd00::/8", false},           // another family
        {"files.example.org", "10.0.0.0/8", false}, // a name is never inside a network
        {"10.1.2.3", "10.0.0.0/33", false},         // a prefix longer than the address
        {"10.1.2.3", "10.0.0.0/", false},
        {"10.1.2.3", "10.0.0.0/x", false},
        {"10.1.2.3", "/8", false},
    };
    for (const BypassCase& c : cases)
        EXPECT_EQ(Bypassed(c.host, c.bypass), c.direct) << c.host << " with \"" << c.bypass << '"';
}

} // namespace
} // namespace zandrel::inet::detail
