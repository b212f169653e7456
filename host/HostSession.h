#pragma once
// One run of the replacement IDE: its services published, one package loaded and registered.
// Tear-down releases everything the package handed over before the package is closed.
#include <memory>
#include <string>

#include "host/HostServices.h"
#include "host/PackageLoader.h"

namespace zandrel::host {

class HostSession {
public:
    // Loads and registers the package; throws rtl::Error when it cannot be loaded or its
    // registration fails (the package is then unloaded again).
    explicit HostSession(const std::string& packagePath);
    ~HostSession();

    THostServices& Services() { return *services_; }
    LoadedPackage& Package() { return *package_; }

    // The default package location: lib/QuillonZandrel.so beside the folder of this program.
    static std::string DefaultPackagePath();

private:
    ComPtr<THostServices> services_;
    std::unique_ptr<class ServicesScope> scope_;
    std::unique_ptr<LoadedPackage> package_;
};

} // namespace zandrel::host
