#include "host/HostServices.h"

#include "platform/toolsapi/Services.h"

namespace zandrel::host {

int THostServices::AddMenuItemCreatorNotifier(const ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>& Notifier) {
    const int index = nextIndex_++;
    creators_[index] = Notifier;
    return index;
}

void THostServices::RemoveMenuItemCreatorNotifier(int Index) { creators_.erase(Index); }

toolsapi::HRESULT THostServices::QueryInterface(const toolsapi::TGUID& iid, void** object) {
    if (iid == toolsapi::IIDEServices::IID)
        return Answer(static_cast<toolsapi::IIDEServices*>(this), object);
    if (iid == toolsapi::IOTAZandrel::IID) return Answer(static_cast<toolsapi::IOTAZandrel*>(this), object);
    if (iid == toolsapi::IOTAMessageServices::IID)
        return Answer(static_cast<toolsapi::IOTAMessageServices*>(this), object);
    return TInterfacedObject::QueryInterface(iid, object);
}

std::vector<ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>> THostServices::Creators() const {
    std::vector<ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>> out;
    for (const auto& [index, creator] : creators_) out.push_back(creator);
    return out;
}

void THostServices::AddMessage(toolsapi::TMessageKind Kind, const std::string& Text) {
    messages_.push_back({Kind, Text});
    if (sink_) sink_(messages_.back());
}

std::string THostServices::MenuTextOf(const ComPtr<toolsapi::IOTAWizard>& wizard) {
    if (auto menu = ComPtr<toolsapi::IOTAMenuWizard>::Query(wizard)) return menu->GetMenuText();
    return wizard->GetName();
}

ServicesScope::ServicesScope(const ComPtr<THostServices>& services) {
    toolsapi::SetIDEServices(ComPtr<toolsapi::IIDEServices>(services));
    THostServices* raw = services.get();
    toolsapi::SetPackageWizardRegistrar([raw](const ComPtr<toolsapi::IOTAWizard>& w) { raw->AddWizard(w); });
}

ServicesScope::~ServicesScope() {
    toolsapi::SetPackageWizardRegistrar(nullptr);
    toolsapi::SetIDEServices(nullptr);
}

} // namespace zandrel::host
