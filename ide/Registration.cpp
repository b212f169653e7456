#include "ide/Registration.h"

#include "ide/ContextMenu.h"
#include "ide/SettingVariables.h"
#include "platform/toolsapi/Services.h"
#include "settings/OptionsDialog.h"

namespace zandrel::ide {

int32_t FNotifierIndex = -1;

using toolsapi::ComPtr;

toolsapi::HRESULT TProjectFTPUploaderOptions::QueryInterface(const toolsapi::TGUID& iid, void** object) {
    if (iid == toolsapi::IOTAMenuWizard::IID) return Answer(static_cast<toolsapi::IOTAMenuWizard*>(this), object);
    if (iid == toolsapi::IOTAWizard::IID) return Answer(static_cast<toolsapi::IOTAWizard*>(this), object);
    return TNotifierObject::QueryInterface(iid, object);
}

void TProjectFTPUploaderOptions::Execute() {
    // A fresh dialog each time, so it shows the settings as last saved.
    settings::TFTPUploaderConfigurationFrm dialog;
    dialog.ShowModal();
}

void InitializeModule() { FNotifierIndex = -1; }

void Register() {
    ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier> creator(new TProjectContextMenu);
    FNotifierIndex = toolsapi::QueryService<toolsapi::IOTAZandrel>()->AddMenuItemCreatorNotifier(creator);
    toolsapi::RegisterPackageWizard(ComPtr<toolsapi::IOTAWizard>(new TProjectFTPUploaderOptions));
}

void FinalizeModule() {
    if (FNotifierIndex > -1) {
        toolsapi::QueryService<toolsapi::IOTAZandrel>()->RemoveMenuItemCreatorNotifier(FNotifierIndex);
        FNotifierIndex = -1;
    }
    ReleaseSettingVariables();
}

} // namespace zandrel::ide
