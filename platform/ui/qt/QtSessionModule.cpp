// The Qt user interface as a module the programs load only when they show windows: a terminal run
// then never maps the Qt libraries, which cost more to load and relocate than a small transfer.
// The module owns the QApplication and installs the Qt backend into the shared UI port.
#include <QApplication>
#include <QGuiApplication>

#include <memory>

#include "platform/ui/Application.h"
#include "platform/ui/qt/QtBackend.h"

namespace {

std::unique_ptr<QApplication> application;

} // namespace

// Whether Qt can open its display. Qt ends the process when it cannot, so this runs in a forked
// child that exits right after.
extern "C" __attribute__((visibility("default"))) bool ZandrelQtUiProbe(int* argc, char** argv) {
    QGuiApplication probe(*argc, argv);
    return true;
}

// `argc` and `argv` must outlive the session, as QApplication requires.
extern "C" __attribute__((visibility("default"))) bool ZandrelQtUiStart(int* argc, char** argv,
                                                                        const char* displayName) {
    if (application) return true;
    application = std::make_unique<QApplication>(*argc, argv);
    if (displayName && *displayName) QApplication::setApplicationDisplayName(QString::fromUtf8(displayName));
    zandrel::ui::InstallBackend(zandrel::ui::CreateQtBackend());
    return true;
}

extern "C" __attribute__((visibility("default"))) void ZandrelQtUiStop() {
    if (!application) return;
    zandrel::ui::RemoveBackend();
    application.reset();
}
