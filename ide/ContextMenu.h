#pragma once
// The three project commands on a project node's context menu.
#include <functional>
#include <string>

#include "platform/toolsapi/ToolsAPI.h"

namespace zandrel::webcopy {
class TZandrelWebCopy;
}

namespace zandrel::ide {

using toolsapi::ComPtr;
using toolsapi::IInterfaceList;
using toolsapi::IOTAProject;

// A plain menu entry: every getter answers its field, every setter stores it.
class TProjectContextMenuLocal : public toolsapi::TNotifierObject, public virtual toolsapi::IOTALocalMenu {
public:
    std::string GetCaption() const override { return FCaption; }
    bool GetChecked() const override { return FChecked; }
    bool GetEnabled() const override { return FEnabled; }
    int GetHelpContext() const override { return FHelpContext; }
    std::string GetName() const override { return FName; }
    std::string GetParent() const override { return FParent; }
    int GetPosition() const override { return FPosition; }
    std::string GetVerb() const override { return FVerb; }
    void SetCaption(const std::string& Value) override { FCaption = Value; }
    void SetChecked(bool Value) override { FChecked = Value; }
    void SetEnabled(bool Value) override { FEnabled = Value; }
    void SetHelpContext(int Value) override { FHelpContext = Value; }
    void SetName(const std::string& Value) override { FName = Value; }
    void SetParent(const std::string& Value) override { FParent = Value; }
    void SetPosition(int Value) override { FPosition = Value; }
    void SetVerb(const std::string& Value) override { FVerb = Value; }

    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override;

private:
    std::string FCaption;
    bool FChecked = false;
    bool FEnabled = false;
    int FHelpContext = 0;
    std::string FName;
    std::string FParent;
    int FPosition = 0;
    std::string FVerb;
};

using TProjectContextMenuItemExecuteEvent = std::function<void(const IInterfaceList& MenuContextList)>;

// A menu entry that runs a command when chosen.
class TProjectContextMenuItem : public TProjectContextMenuLocal, public virtual toolsapi::IOTAZandrelMenu {
public:
    bool GetIsMultiSelectable() const override { return FIsMultiSelectable; }
    void SetIsMultiSelectable(bool Value) override { FIsMultiSelectable = Value; }
    void Execute(const IInterfaceList& MenuContextList) override {
        if (FOnExecute) FOnExecute(MenuContextList);
    }
    bool PreExecute(const IInterfaceList&) override { return true; }
    bool PostExecute(const IInterfaceList&) override { return true; }

    void SetOnExecute(TProjectContextMenuItemExecuteEvent handler) { FOnExecute = std::move(handler); }

    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override;

private:
    bool FIsMultiSelectable = false;
    TProjectContextMenuItemExecuteEvent FOnExecute;
};

// Offers "Zip Project", "Zip && Upload Project" and "Zip && Email Project" on a single project
// node and runs them.
class TProjectContextMenu : public toolsapi::TNotifierObject,
                            public virtual toolsapi::IOTAProjectMenuItemCreatorNotifier {
public:
    void AddMenu(const ComPtr<IOTAProject>& Project, const rtl::StringList* IdentList, IInterfaceList* MenuList,
                 bool IsMultiSelect) override;
    bool CanHandle(const std::string& Ident) const { return Ident == "ProjectContainer"; }

    void ZipOnly(const IInterfaceList& MenuContextList) { RunCommand(MenuContextList, 0); }
    void ZipAndUpload(const IInterfaceList& MenuContextList) { RunCommand(MenuContextList, 1); }
    void ZipAndEmail(const IInterfaceList& MenuContextList) { RunCommand(MenuContextList, 2); }

    // Packs the project's files into the archive beside it, then opens the folder (0), uploads
    // the archive (1) or mails it (2). A failure, or a stop, ends the command with a message in
    // the host's message view that says why and what became of the archive; nothing is thrown.
    void ProcessProject(const ComPtr<IOTAProject>& Project, int Code);
    // Loads the stored settings into the setting variables.
    void ReadRegistryValues();

    // Uploads the archive to the configured FTP server under the first name not taken there.
    void FTPUploadFile(const std::string& ArchivePath);
    // The upload's completion callback.
    void CopyDone(webcopy::TZandrelWebCopy& Sender);

    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override;

private:
    void RunCommand(const IInterfaceList& MenuContextList, int Code);
};

} // namespace zandrel::ide
