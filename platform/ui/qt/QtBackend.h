#pragma once
// The backend for a desktop session: forms become Qt widgets. A QApplication must exist before
// the backend is created and outlive it.
#include <memory>

#include "platform/ui/Backend.h"

class QWidget;

namespace zandrel::ui {

std::unique_ptr<Backend> CreateQtBackend();

// The widget that draws a form or control (for tests that look at the real window).
QWidget* QtWidgetOf(const Control& control);

} // namespace zandrel::ui
