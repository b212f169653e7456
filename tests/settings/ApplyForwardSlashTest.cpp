#include <gtest/gtest.h>

#include "settings/ApplyForwardSlash.h"

namespace zandrel::settings {
namespace {

TEST(ApplyForwardSlash, TheStoredBaseUrlAlwaysEndsInOneAddedSlash) {
    const struct {
        const char* text;
        const char* stored;
    } cases[] = {
        {"", "/"},
        {"/", "/"},
        {"http://example.com", "http://example.com/"},
        {"http://example.com/", "http://example.com/"},
        {"http://example.com//", "http://example.com//"},
        {"http://example.com\\", "http://example.com\\/"},
        {"http://example.com/d\xC3\xBC", "http://example.com/d\xC3\xBC/"},
    };
    for (const auto& c : cases) EXPECT_EQ(ApplyForwardSlash(c.text), c.stored) << c.text;
}

} // namespace
} // namespace zandrel::settings
