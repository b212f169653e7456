#pragma once
// Telling the person what became of a command, through the host's message view.
#include <string>

#include "platform/toolsapi/ToolsAPI.h"

namespace zandrel::ide {

// Hands the message to the host; a host without a message view gets nothing.
void TellHost(toolsapi::TMessageKind Kind, const std::string& Text);
// Whether the host shows windows of the desktop (a file manager); false without a host that says so.
bool HostShowsDesktopWindows();

} // namespace zandrel::ide
