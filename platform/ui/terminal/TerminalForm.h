#pragma once
// A modal form worked as text: the form is listed with its controls numbered in Tab order, the
// person picks a number to edit a field, toggle a check box, (de)select list lines or press a
// button, and the form is listed again after each step until one of its buttons closes it.
#include <string>

#include "platform/ui/Forms.h"

namespace zandrel::ui {

class TerminalConsole;

// The listing of `form`: its caption, then its controls in Tab order under the captions of their
// group boxes, each with its caption and value and, when the person can pick it, its number.
// Hidden controls are left out; disabled ones are listed without a number. Passwords are masked.
std::string TerminalFormListing(const Form& form);

enum class FormEnd {
    Closed,    // a button (or a handler) closed the form
    Abandoned, // Ctrl-D or Ctrl-C where the form asked what to do next, or the terminal went away
};

// Lets the person at `console` work `form` until it closes or is abandoned. An exception from a
// handler is shown and the form stays open, as a window would.
FormEnd WorkFormAtTerminal(Form& form, TerminalConsole& console);

} // namespace zandrel::ui
