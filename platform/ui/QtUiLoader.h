#pragma once
// Starts the Qt user interface from its module (ZandrelQtUi.so in the lib folder beside the
// program's folder), so that programs link no Qt and terminal runs never load it.
#include <memory>
#include <string>

namespace zandrel::ui {

class QtUiSession {
public:
    // Loads the module, creates the Qt application and installs the Qt backend. Null, with
    // `error` saying why, when the module cannot be loaded. `argc` and `argv` must outlive the
    // session.
    static std::unique_ptr<QtUiSession> Start(int& argc, char** argv, const std::string& displayName,
                                              std::string& error);
    // Removes the backend and ends the Qt application.
    ~QtUiSession();

    QtUiSession(const QtUiSession&) = delete;
    QtUiSession& operator=(const QtUiSession&) = delete;

private:
    using StopFunction = void (*)();
    explicit QtUiSession(StopFunction stop) : stop_(stop) {}
    StopFunction stop_;
};

// Where Start looks for the module.
std::string QtUiModulePath();

} // namespace zandrel::ui
