#pragma once
// Hooking the package into the host: the project-menu creator and the options wizard.
#include <cstdint>
#include <string>

#include "platform/toolsapi/ToolsAPI.h"

namespace zandrel::ide {

// The host's index of our menu creator; -1 while none is registered.
extern int32_t FNotifierIndex;

// The "Zandrel Options" menu wizard, which opens the options dialog.
class TProjectFTPUploaderOptions : public toolsapi::TNotifierObject, public virtual toolsapi::IOTAMenuWizard {
public:
    std::string GetIDString() override { return "Quillon.ZandrelOptions"; }
    std::string GetName() override { return "Zandrel Options"; }
    toolsapi::TWizardState GetState() override { return toolsapi::wsEnabled; }
    void Execute() override;
    std::string GetMenuText() override { return "Zandrel Options"; }

    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override;
};

// Module initialisation: no creator registered yet.
void InitializeModule();
// Registers the menu creator and the wizard with the host; a failed service query raises.
void Register();
// Module finalisation: removes the creator (when one was registered) and releases the settings.
void FinalizeModule();

} // namespace zandrel::ide
