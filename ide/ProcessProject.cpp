#include <unistd.h>

#include <string>
#include <vector>

#include "ide/ContextMenu.h"
#include "ide/Packaging.h"
#include "ide/ProjectPaths.h"
#include "ide/SettingVariables.h"
#include "platform/rtl/FileSystem.h"
#include "platform/shell/Shell.h"
#include "platform/ui/Application.h"

namespace zandrel::ide {
namespace {

// Where no trash can take the staging folder, remove for good only what this command put there,
// and the folder itself only when this command made it; anything else stays.
void RemoveStagedFiles(const std::vector<std::string>& staged, const std::string& stagingDir, bool createdFolder) {
    for (const std::string& file : staged) rtl::DeleteFile(file);
    if (createdFolder) rmdir(stagingDir.c_str());
}

} // namespace

void TProjectContextMenu::ProcessProject(const ComPtr<IOTAProject>& Project, int Code) {
    using namespace rtl;
    if (!Project) return;
    try {
        ReadRegistryValues();
        if (Code == 1 && FTPHt.empty()) {
            ui::ShowMessage("upload settings");
            return;
        }

        StringList patterns;
        SplitToList(';', ZipStr, &patterns);

        const std::string fileName = Project->GetFileName();
        const ProjectPaths paths = DeriveProjectPaths(fileName);
        // A project file named like its own archive (Demo.zip) would be deleted by packing.
        if (paths.archivePath == fileName) return;

        const bool stagingExisted = DirectoryExists(paths.stagingDir);
        ForceDirectories(paths.stagingDir);

        // Top-level entries only; directories drop out because they cannot be copied. A file that
        // matches several patterns is simply copied again.
        std::vector<std::string> staged;
        for (const std::string& pattern : patterns.Items()) {
            const std::string search = paths.projectFolder + PathDelim + pattern;
            for (const FoundFile& entry : FindFiles(ExtractFileDir(search), ExtractFileName(search), faAnyFile)) {
                const std::string target = paths.stagingDir + PathDelim + entry.name;
                const bool existed = FileExists(target);
                if (CopyFile(paths.projectFolder + PathDelim + entry.name, target, false) && !existed)
                    staged.push_back(target);
            }
        }

        if (FileExists(paths.archivePath)) DeleteFile(paths.archivePath);
        ShellZipFolder(paths.archivePath, paths.stagingDir, "*.*");
        if (DirectoryExists(paths.stagingDir) && !ShellDeleteFolder(paths.stagingDir))
            RemoveStagedFiles(staged, paths.stagingDir, !stagingExisted);

        if (!FileExists(paths.archivePath)) return;
        switch (Code) {
        case 0:
            shell::OpenWithDesktop(IncludeTrailingPathDelimiter(paths.projectFolder));
            break;
        default:
            // Uploading and mailing the archive are not part of this build yet; the archive stays.
            break;
        }
    } catch (...) {
        // The project commands end quietly on any error; what was made so far stays on disk.
    }
}

} // namespace zandrel::ide
