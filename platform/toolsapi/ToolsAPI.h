#pragma once
// The IDE's plug-in interfaces that the package implements or calls. Operation order within each
// interface is the order the host relies on.
#include <string>
#include <vector>

#include "platform/rtl/StringList.h"
#include "platform/toolsapi/InterfacedObject.h"

namespace zandrel::toolsapi {

class IOTANotifier : public virtual IInterface {
public:
    static constexpr TGUID IID = Guid("{F17A7BCF-E07D-11D1-AB0B-00C04FB16FB3}");
    virtual void AfterSave() = 0;
    virtual void BeforeSave() = 0;
    virtual void Destroyed() = 0;
    virtual void Modified() = 0;
};

// Answers the four notifications with nothing, as the host's own base does.
class TNotifierObject : public TInterfacedObject, public virtual IOTANotifier {
public:
    void AfterSave() override {}
    void BeforeSave() override {}
    void Destroyed() override {}
    void Modified() override {}
    HRESULT QueryInterface(const TGUID& iid, void** object) override {
        if (iid == IOTANotifier::IID) return Answer(static_cast<IOTANotifier*>(this), object);
        return TInterfacedObject::QueryInterface(iid, object);
    }
};

enum TWizardStateFlag : unsigned { wsEnabled = 1, wsChecked = 2 };
using TWizardState = unsigned;

class IOTAWizard : public virtual IOTANotifier {
public:
    static constexpr TGUID IID = Guid("{B75C0CE0-EEA6-11D1-9504-00608CCBF153}");
    virtual std::string GetIDString() = 0;
    virtual std::string GetName() = 0;
    virtual TWizardState GetState() = 0;
    virtual void Execute() = 0;
};

class IOTAMenuWizard : public virtual IOTAWizard {
public:
    static constexpr TGUID IID = Guid("{B75C0CE2-EEA6-11D1-9504-00608CCBF153}");
    virtual std::string GetMenuText() = 0;
};

class IOTAProject : public virtual IInterface {
public:
    static constexpr TGUID IID = Guid("{06C88136-F367-4EB6-B2AF-D1ED4A0B6B3A}");
    virtual std::string GetFileName() = 0;
    virtual bool Save(bool ChildName, bool ForceSave) = 0;
};

// The clicked node, handed to a menu item's Execute as entry 0 of the context list.
class IOTAProjectMenuContext : public virtual IInterface {
public:
    static constexpr TGUID IID = Guid("{ECEC33FD-837A-46DC-A0AD-1FFEBEEA23AF}");
    virtual ComPtr<IOTAProject> GetProject() = 0;
};

// A list of interface references, as the host passes menu lists and context lists.
class IInterfaceList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const ComPtr<IInterface>& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }
    void Add(ComPtr<IInterface> item) { items_.push_back(std::move(item)); }
    void Clear() { items_.clear(); }

private:
    std::vector<ComPtr<IInterface>> items_;
};

class IOTALocalMenu : public virtual IOTANotifier {
public:
    static constexpr TGUID IID = Guid("{83ECCBDF-939D-4F8D-B96D-A0C67ACC86EA}");
    virtual std::string GetCaption() const = 0;
    virtual bool GetChecked() const = 0;
    virtual bool GetEnabled() const = 0;
    virtual int GetHelpContext() const = 0;
    virtual std::string GetName() const = 0;
    virtual std::string GetParent() const = 0;
    virtual int GetPosition() const = 0;
    virtual std::string GetVerb() const = 0;
    virtual void SetCaption(const std::string& Value) = 0;
    virtual void SetChecked(bool Value) = 0;
    virtual void SetEnabled(bool Value) = 0;
    virtual void SetHelpContext(int Value) = 0;
    virtual void SetName(const std::string& Value) = 0;
    virtual void SetParent(const std::string& Value) = 0;
    virtual void SetPosition(int Value) = 0;
    virtual void SetVerb(const std::string& Value) = 0;
};

// A project-tree menu item that runs a command.
class IOTAZandrelMenu : public virtual IOTALocalMenu {
public:
    static constexpr TGUID IID = Guid("{5E3B2F50-41B8-4A44-9F5E-7D1C0A9B3E21}");
    virtual bool GetIsMultiSelectable() const = 0;
    virtual void SetIsMultiSelectable(bool Value) = 0;
    virtual void Execute(const IInterfaceList& MenuContextList) = 0;
    virtual bool PreExecute(const IInterfaceList& MenuContextList) = 0;
    virtual bool PostExecute(const IInterfaceList& MenuContextList) = 0;
};

// Asked for items whenever the host builds a project node's context menu.
class IOTAProjectMenuItemCreatorNotifier : public virtual IOTANotifier {
public:
    static constexpr TGUID IID = Guid("{8209202F-2B4C-4B4D-9C64-2E6F8A5D1B70}");
    virtual void AddMenu(const ComPtr<IOTAProject>& Project, const rtl::StringList* IdentList,
                         IInterfaceList* MenuList, bool IsMultiSelect) = 0;
};

// The host's project tree service.
class IOTAZandrel : public virtual IInterface {
public:
    static constexpr TGUID IID = Guid("{B142EF92-0A91-4614-A72A-CE46F9C88B7B}");
    virtual int AddMenuItemCreatorNotifier(const ComPtr<IOTAProjectMenuItemCreatorNotifier>& Notifier) = 0;
    virtual void RemoveMenuItemCreatorNotifier(int Index) = 0;
};

// What a command has to tell the person, by how it bears on the command's outcome.
enum class TMessageKind {
    mkInfo,    // where the result is, what was done
    mkWarning, // worth knowing; the command still did all its work
    mkError,   // the command did not do all its work: what is missing and why
    mkStopped, // the person stopped the command (Ctrl-C, Cancel) before it was done
};

// The host's message view: where a package's commands say what became of them. The host also
// says whether results may be shown in windows of the desktop (a file manager); where the person
// works in a terminal, a command tells where its result is instead.
class IOTAMessageServices : public virtual IInterface {
public:
    static constexpr TGUID IID = Guid("{3D5F8A12-6C47-4E0B-9A61-2B7E4C90D815}");
    virtual void AddMessage(TMessageKind Kind, const std::string& Text) = 0;
    virtual bool ShowsDesktopWindows() = 0;
};

// The object the host publishes as IDEServices; its services are reached by
// QueryInterface.
class IIDEServices : public virtual IInterface {
public:
    static constexpr TGUID IID = Guid("{7FD1CE91-E053-11D1-AB0B-00C04FB16FB3}");
};

} // namespace zandrel::toolsapi
