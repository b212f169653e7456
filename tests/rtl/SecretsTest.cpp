// A process that holds secrets leaves no core file: it is made non-dumpable. Checked in a child,
// so that the test process itself stays as it was.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/rtl/Secrets.h"

namespace zandrel::rtl {
namespace {

TEST(Secrets, TheProcessBecomesNonDumpable) {
    ASSERT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 1) << "the test process should start dumpable";
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const bool set = KeepSecretsOutOfCoreDumps();
        ::_exit(set && ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace zandrel::rtl
