#include "host/HostProject.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zandrel::host {

bool THostProject::Save(bool, bool) {
    saveFailure_.clear();
    struct stat st {};
    const std::string quoted = "\"" + fileName_ + "\"";
    if (stat(fileName_.c_str(), &st) != 0) {
        saveFailure_ = "cannot save the project " + quoted + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        saveFailure_ = "cannot save the project " + quoted + ": it is not a regular file";
    } else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // A file without any write bit counts as read-only even for the superuser, as a read-only
        // attribute did.
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        saveFailure_ = "cannot save the project " + quoted + ": it is read-only (mode " + mode + ")";
    } else if (access(fileName_.c_str(), W_OK) != 0) {
        saveFailure_ = "cannot save the project " + quoted + ": " + std::strerror(errno);
    }
    return saveFailure_.empty();
}

toolsapi::HRESULT THostProject::QueryInterface(const toolsapi::TGUID& iid, void** object) {
    if (iid == toolsapi::IOTAProject::IID) return Answer(static_cast<toolsapi::IOTAProject*>(this), object);
    return TInterfacedObject::QueryInterface(iid, object);
}

toolsapi::HRESULT THostMenuContext::QueryInterface(const toolsapi::TGUID& iid, void** object) {
    if (iid == toolsapi::IOTAProjectMenuContext::IID)
        return Answer(static_cast<toolsapi::IOTAProjectMenuContext*>(this), object);
    return TInterfacedObject::QueryInterface(iid, object);
}

} // namespace zandrel::host
