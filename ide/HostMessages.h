#pragma once
// Telling the person what became of a command, through the host's message view.
#include <string>

#include "platform/toolsapi/ToolsAPI.h"

namespace zandrel::ide {

// Hands the message to the host; a host without a message view gets nothing.
void TellHost(toolsapi::TMessageKind Kind, const std::string& Text);
// A reason followed by what became of the command ("no archive was written"): one sentence, or
// two when the reason (a server's reply) already ends as one.
std::string WithFate(const std::string& reason, const std::string& fate);
// Whether the host shows windows of the desktop (a file manager); false without a host that says so.
bool HostShowsDesktopWindows();

} // namespace zandrel::ide
