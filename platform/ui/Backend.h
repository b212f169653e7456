#pragma once
// What a UI backend provides. The system code never includes this; backends and the code that
// installs them do.
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Forms.h"

namespace zandrel::ui {

// Draws one control; Update() re-reads every property of the control it draws.
class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    virtual void Update() = 0;
};

class FormPeer : public ControlPeer {
public:
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Shows the form modally and returns once it is hidden again.
    virtual void RunModal() = 0;
    virtual void MakeTopmost() = 0;

protected:
    // For peers whose window the user closed by other means than Form::Close.
    static void NotifyHidden(Form& form) { form.PeerClosed(); }
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual std::unique_ptr<FormPeer> CreateFormPeer(Form& form) = 0;
    virtual std::unique_ptr<ControlPeer> CreateControlPeer(Control& control) = 0;

    virtual void ProcessMessages() = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
    virtual void SetCursor(int cursor) = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    virtual std::string ClipboardText() = 0;
    // Called from any thread when work waits for the UI thread; a backend that sleeps in its own
    // event loop wakes up and calls ProcessMessages. The default does nothing.
    virtual void WakeUp() {}
    // A Ctrl-C is pending and no form has a Cancel button to press. The default leaves it for
    // the program to poll.
    virtual void UnclaimedInterrupt() {}
    // False when no one can answer a form or a question (a terminal backend run from a script).
    virtual bool CanAskUser() const { return true; }

    virtual int CaptionHeight() const = 0;
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
};

} // namespace zandrel::ui
