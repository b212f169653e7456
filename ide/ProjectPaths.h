#pragma once
// The names a project command derives from the project's file name.
#include <string>

namespace zandrel::ide {

struct ProjectPaths {
    std::string projectFolder; // the file's folder, without trailing "/"
    std::string extension;     // from the last "." of the file's name, dot included
    std::string archiveName;   // the name with every occurrence of the extension replaced by ".zip"
    std::string baseName;      // the name with every occurrence of the extension removed
    std::string stagingDir;    // projectFolder + "/" + baseName + "output"
    std::string archivePath;   // projectFolder + "/" + archiveName
};

// For a name without extension the archive is the name plus ".zip", so that it can never be the
// project file itself.
ProjectPaths DeriveProjectPaths(const std::string& projectFileName);

} // namespace zandrel::ide
