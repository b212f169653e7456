#include "ide/EmailDispatch.h"

#include "ide/HostMessages.h"

namespace zandrel::ide {

void SendProjectMail(const std::string& ArchivePath) {
    TellHost(toolsapi::TMessageKind::mkError, "mailing is not part of this build yet; the archive is " + ArchivePath);
}

bool SendByOutlook(const std::string&) { return false; }

int32_t SendByMapi(const std::string&) { return -1; }

} // namespace zandrel::ide
