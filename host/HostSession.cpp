#include "host/HostSession.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/ModulePath.h"

namespace zandrel::host {

HostSession::HostSession(const std::string& packagePath)
    : services_(new THostServices), scope_(std::make_unique<ServicesScope>(services_)),
      package_(std::make_unique<LoadedPackage>(packagePath)) {
    const std::string error = package_->Register();
    if (!error.empty()) {
        services_->ClearWizards();
        package_.reset();
        throw rtl::Error("the package did not register: " + error);
    }
}

HostSession::~HostSession() {
    // Objects the package made must be gone before its code is.
    services_->ClearWizards();
    if (package_) package_->Unload();
    package_.reset();
}

std::string HostSession::DefaultPackagePath() {
    return rtl::ModulePath("QuillonZandrel.so");
}

} // namespace zandrel::host
