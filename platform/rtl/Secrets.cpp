#include "platform/rtl/Secrets.h"

#include <sys/prctl.h>

namespace zandrel::rtl {

bool KeepSecretsOutOfCoreDumps() { return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0; }

} // namespace zandrel::rtl
