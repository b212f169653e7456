#include "ide/ContextMenu.h"
#include "ide/HostMessages.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::ide {

void TProjectContextMenu::FTPUploadFile(const std::string& ArchivePath) {
    TellHost(toolsapi::TMessageKind::mkError, "uploading is not part of this build yet; the archive is " + ArchivePath);
}

void TProjectContextMenu::GetFileName(webcopy::TZandrelWebCopy&, const std::string&, std::string&) {}

void TProjectContextMenu::CopyDone(webcopy::TZandrelWebCopy&) {}

} // namespace zandrel::ide
