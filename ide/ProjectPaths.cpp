#include "ide/ProjectPaths.h"

#include "platform/rtl/FileSystem.h"

namespace zandrel::ide {

ProjectPaths DeriveProjectPaths(const std::string& projectFileName) {
    using namespace rtl;
    ProjectPaths p;
    p.projectFolder = ExcludeTrailingPathDelimiter(ExtractFileDir(projectFileName));
    const std::string name = ExtractFileName(projectFileName);
    p.extension = ExtractFileExt(projectFileName);
    if (p.extension.empty()) {
        p.archiveName = name + ".zip";
        p.baseName = name;
    } else {
        p.archiveName = StringReplaceAll(name, p.extension, ".zip");
        p.baseName = StringReplaceAll(name, p.extension, "");
    }
    p.stagingDir = p.projectFolder + PathDelim + p.baseName + "output";
    p.archivePath = p.projectFolder + PathDelim + p.archiveName;
    return p;
}

} // namespace zandrel::ide
