#include "ide/HostMessages.h"

#include "platform/toolsapi/Services.h"

namespace zandrel::ide {
namespace {

toolsapi::ComPtr<toolsapi::IOTAMessageServices> MessageView() {
    return toolsapi::ComPtr<toolsapi::IOTAMessageServices>::Query(toolsapi::IDEServices());
}

} // namespace

void TellHost(toolsapi::TMessageKind Kind, const std::string& Text) {
    if (auto view = MessageView()) view->AddMessage(Kind, Text);
}

bool HostShowsDesktopWindows() {
    auto view = MessageView();
    return view && view->ShowsDesktopWindows();
}

} // namespace zandrel::ide
