#include "webcopy/DesktopOpen.h"

#include "platform/rtl/Error.h"

#if defined(ZANDREL_HAVE_SHELL)
#include "platform/shell/Shell.h"
#endif

namespace zandrel::webcopy {

void OpenWithDesktop(const std::string& Path) {
#if defined(ZANDREL_HAVE_SHELL)
    try {
        shell::OpenWithDesktop(Path);
    } catch (const rtl::Error&) {
        // Whether the desktop could open it is not our concern; the dialog closes regardless.
    }
#else
    (void)Path; // no shell layer in this build: there is nothing to open with
#endif
}

} // namespace zandrel::webcopy
