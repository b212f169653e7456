#pragma once
// The two kinds of Folder that NameSpace gives: a folder on disk, and a ZIP archive seen as a
// folder. Both take items through CopyHere, which returns at once and copies on a thread.
#include <string>

#include "platform/automation/DispatchObject.h"

namespace zandrel::shell {

class FolderObject : public automation::DispatchObject {
public:
    explicit FolderObject(std::string path); // an absolute path of an existing folder

private:
    std::string path_;
};

class ZipFolderObject : public automation::DispatchObject {
public:
    explicit ZipFolderObject(std::string archivePath); // an absolute path of a ZIP file

private:
    std::string archivePath_;
};

} // namespace zandrel::shell
