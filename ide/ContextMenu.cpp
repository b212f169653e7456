#include "ide/ContextMenu.h"

#include "platform/ui/Application.h"
#include "resources/StringTable.h"

namespace zandrel::ide {

using toolsapi::HRESULT;
using toolsapi::TGUID;

HRESULT TProjectContextMenuLocal::QueryInterface(const TGUID& iid, void** object) {
    if (iid == toolsapi::IOTALocalMenu::IID) return Answer(static_cast<toolsapi::IOTALocalMenu*>(this), object);
    return TNotifierObject::QueryInterface(iid, object);
}

HRESULT TProjectContextMenuItem::QueryInterface(const TGUID& iid, void** object) {
    if (iid == toolsapi::IOTAZandrelMenu::IID) return Answer(static_cast<toolsapi::IOTAZandrelMenu*>(this), object);
    return TProjectContextMenuLocal::QueryInterface(iid, object);
}

HRESULT TProjectContextMenu::QueryInterface(const TGUID& iid, void** object) {
    if (iid == toolsapi::IOTAProjectMenuItemCreatorNotifier::IID)
        return Answer(static_cast<toolsapi::IOTAProjectMenuItemCreatorNotifier*>(this), object);
    return TNotifierObject::QueryInterface(iid, object);
}

void TProjectContextMenu::AddMenu(const ComPtr<IOTAProject>& Project, const rtl::StringList* IdentList,
                                  IInterfaceList* MenuList, bool IsMultiSelect) {
    if (IsMultiSelect || !Project || !IdentList || IdentList->IndexOf("ProjectContainer") < 0 || !MenuList) return;

    struct Row {
        int captionId;
        void (TProjectContextMenu::*handler)(const IInterfaceList&);
        int position;
    };
    // "Zip && Upload Project" and "Zip && Email Project" share one position.
    static constexpr Row kRows[] = {{65520, &TProjectContextMenu::ZipOnly, 1500000},
                                    {65521, &TProjectContextMenu::ZipAndUpload, 1500001},
                                    {65522, &TProjectContextMenu::ZipAndEmail, 1500001}};
    for (const Row& row : kRows) {
        auto* item = new TProjectContextMenuItem;
        ComPtr<toolsapi::IOTAZandrelMenu> menu(item);
        item->SetEnabled(true);
        item->SetCaption(resources::LoadResString(row.captionId));
        item->SetIsMultiSelectable(false);
        // The item keeps this creator alive for as long as the host holds the item.
        ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier> self(this);
        item->SetOnExecute([self, owner = this, handler = row.handler](const IInterfaceList& list) {
            (owner->*handler)(list);
        });
        item->SetPosition(row.position);
        MenuList->Add(ComPtr<toolsapi::IInterface>(menu));
    }
}

void TProjectContextMenu::RunCommand(const IInterfaceList& MenuContextList, int Code) {
    if (MenuContextList.Count() == 0) return;
    try {
        const auto context = ComPtr<toolsapi::IOTAProjectMenuContext>::Query(MenuContextList[0]);
        if (!context) return;
        const ComPtr<IOTAProject> project = context->GetProject();
        if (!project || !project->Save(false, true)) return;
        ui::SetScreenCursor(ui::crHourGlass);
        try {
            ProcessProject(project, Code);
        } catch (...) {
            ui::SetScreenCursor(ui::crDefault);
            throw;
        }
        ui::SetScreenCursor(ui::crDefault);
    } catch (...) {
        // The project commands report nothing of their own.
    }
}

} // namespace zandrel::ide
