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

std::string WithFate(const std::string& reason, const std::string& fate) {
    if (reason.empty() || reason.back() != '.') return reason + "; " + fate;
    std::string sentence = fate;
    if (sentence[0] >= 'a' && sentence[0] <= 'z') sentence[0] = static_cast<char>(sentence[0] - 'a' + 'A');
    return reason + " " + sentence + ".";
}

bool HostShowsDesktopWindows() {
    auto view = MessageView();
    return view && view->ShowsDesktopWindows();
}

} // namespace zandrel::ide
