#pragma once
// Loading a package library at run time and running its lifecycle: initialise, register, and
// on unload finalise and close.
#include <string>

namespace zandrel::host {

class LoadedPackage {
public:
    // Loads the library and initialises its module; throws rtl::Error when it cannot.
    explicit LoadedPackage(const std::string& path);
    // Finalises the module (removing what it registered) and closes the library.
    ~LoadedPackage();
    LoadedPackage(const LoadedPackage&) = delete;
    LoadedPackage& operator=(const LoadedPackage&) = delete;

    std::string Description() const;
    // Calls the package's registration; empty on success, the error's text otherwise.
    std::string Register();
    // Finalises now; empty on success, the error's text otherwise. Later calls do nothing.
    std::string Unload();

private:
    void* handle_ = nullptr;
    bool finalized_ = false;
};

} // namespace zandrel::host
