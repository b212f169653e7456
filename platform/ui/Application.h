#pragma once
// The host's user-interface services as the system code sees them: message box, input box,
// screen cursor, clipboard, the step that processes pending messages, and running work on the UI
// thread. A backend (Qt or terminal) is installed once by whoever owns the process: the host or
// a test.
#include <functional>
#include <memory>
#include <string>

namespace zandrel::ui {

class Backend;

constexpr int crDefault = 0;
constexpr int crHourGlass = -11;

// Installs the backend; the calling thread becomes the UI thread. Replaces a previous backend.
void InstallBackend(std::unique_ptr<Backend> backend);
// Removes the backend (forms must be gone by then).
void RemoveBackend();
bool HasBackend();
Backend& CurrentBackend();
bool IsUiThread();

// Handles what the user did since the last call (clicks, Ctrl-C, repaints) and runs work that
// other threads handed to the UI thread. Call it often from long loops on the UI thread.
// A pending Ctrl-C (see Interrupt.h) presses the Cancel button of the newest form that has one,
// shown or not; with no such form it stays pending for whoever polls for it.
void ProcessMessages();
// False when no one is there to fill in a form or answer a question: forms are then closed as
// Cancel at once. Callers that would show a form only to ask for something can say instead what
// is missing.
bool CanAskUser();
// A plain message box with an OK button; returns when the user has dismissed it.
void ShowMessage(const std::string& text);
// Asks for one line of text; false when the user cancelled (value then unchanged).
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue);

int ScreenCursor();
void SetScreenCursor(int cursor);

void SetClipboardText(const std::string& text);
std::string ClipboardText();

// Runs `work` on the UI thread and returns when it has run; on the UI thread itself it runs at
// once. Work handed over from another thread runs inside the UI thread's ProcessMessages.
void Synchronize(const std::function<void()>& work);

// Window metrics that layouts are computed from.
int CaptionHeight();
int ScreenWidth();
int ScreenHeight();

} // namespace zandrel::ui
