#pragma once
// A clipboard that outlives the program. `zandrel` ends right after a command, and on X11 and
// Wayland the clipboard's content lives in the program that owns it: text a program put there
// itself is gone when it exits. The desktop's standard tools (wl-copy, xclip, xsel) fork a small
// owner that keeps offering the text until something else is copied; without a display, a
// terminal that understands OSC 52 keeps it in its own clipboard.
#include <cstdio>
#include <string>

namespace zandrel::ui {

enum class DesktopSession { None, X11, Wayland };

// The session the environment names: Wayland when WAYLAND_DISPLAY is set, else X11 when DISPLAY
// is, else none.
DesktopSession SessionFromEnvironment();

struct ClipboardHandOff {
    bool ok = false;
    // On failure, why: no tool installed, or the tool's own words ("Can't open display").
    std::string reason;
    // The tool that took the text ("xclip"), or the last one tried.
    std::string tool;
};

// Hands `text` to the first of the session's clipboard tools that is installed and accepts it
// (Wayland: wl-copy, then the X11 tools when DISPLAY is set too; X11: xclip, then xsel). The tool
// runs in a session of its own, so neither Ctrl-C nor closing the terminal ends it; each try is
// bounded by `timeoutMs`.
ClipboardHandOff HandToClipboardOwner(const std::string& text, DesktopSession session, int timeoutMs = 5000);

// The escape sequence that asks a terminal to put `text` on its clipboard (OSC 52).
std::string Osc52Sequence(const std::string& text);

// For a program without windows: hands `text` to the desktop's clipboard tools when a display is
// named, and sends it to the terminal's clipboard when `terminal` (standard output) is a terminal.
void PublishClipboardFromTerminal(const std::string& text, std::FILE* terminal = stdout);

} // namespace zandrel::ui
