#include "host/HostProject.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zandrel::host {

bool THostProject::Save(bool, bool) {
    struct stat st {};
        // A file without any write bit counts as read-only even for the superuser, as a read-only
    // attribute did.
    return stat(fileName_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && access(fileName_.c_str(), W_OK) == 0;
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
