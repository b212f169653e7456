#pragma once
// The replacement IDE's services: the project tree service that keeps menu creators by index,
// and the wizards that packages register.
#include <map>
#include <string>
#include <vector>

#include "platform/toolsapi/ToolsAPI.h"

namespace zandrel::host {

using toolsapi::ComPtr;

class THostServices : public toolsapi::TInterfacedObject,
                      public virtual toolsapi::IBorlandIDEServices,
                      public virtual toolsapi::IOTAZandrel {
public:
    int AddMenuItemCreatorNotifier(const ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>& Notifier) override;
    void RemoveMenuItemCreatorNotifier(int Index) override;
    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override;

    // Creators in the order they registered.
    std::vector<ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>> Creators() const;
    int CreatorCount() const { return static_cast<int>(creators_.size()); }

    void AddWizard(const ComPtr<toolsapi::IOTAWizard>& wizard) { wizards_.push_back(wizard); }
    const std::vector<ComPtr<toolsapi::IOTAWizard>>& Wizards() const { return wizards_; }
    // The text a wizard shows in the host's menu: its menu text, or its name.
    static std::string MenuTextOf(const ComPtr<toolsapi::IOTAWizard>& wizard);
    void ClearWizards() { wizards_.clear(); }

private:
    std::map<int, ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>> creators_;
    int nextIndex_ = 0;
    std::vector<ComPtr<toolsapi::IOTAWizard>> wizards_;
};

// Publishes `services` as BorlandIDEServices and as the receiver of package wizards; undone
// when the scope ends.
class ServicesScope {
public:
    explicit ServicesScope(const ComPtr<THostServices>& services);
    ~ServicesScope();
    ServicesScope(const ServicesScope&) = delete;
    ServicesScope& operator=(const ServicesScope&) = delete;
};

} // namespace zandrel::host
