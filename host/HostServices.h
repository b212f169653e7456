#pragma once
// The replacement IDE's services: the project tree service that keeps menu creators by index,
// the wizards that packages register, and the message view where commands say how they ended.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/toolsapi/ToolsAPI.h"

namespace zandrel::host {

using toolsapi::ComPtr;

class THostServices : public toolsapi::TInterfacedObject,
                      public virtual toolsapi::IIDEServices,
                      public virtual toolsapi::IOTAZandrel,
                      public virtual toolsapi::IOTAMessageServices {
public:
    struct Message {
        toolsapi::TMessageKind kind;
        std::string text;
    };
    using MessageSink = std::function<void(const Message&)>;

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

    // Kept in order until cleared, and handed to the sink (if any) as they come.
    void AddMessage(toolsapi::TMessageKind Kind, const std::string& Text) override;
    const std::vector<Message>& Messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }
    void SetMessageSink(MessageSink sink) { sink_ = std::move(sink); }
    // Off unless the host shows windows.
    bool ShowsDesktopWindows() override { return desktopWindows_; }
    void SetShowsDesktopWindows(bool shows) { desktopWindows_ = shows; }

private:
    std::map<int, ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>> creators_;
    int nextIndex_ = 0;
    std::vector<ComPtr<toolsapi::IOTAWizard>> wizards_;
    std::vector<Message> messages_;
    MessageSink sink_;
    bool desktopWindows_ = false;
};

// Publishes `services` as IDEServices and as the receiver of package wizards; undone
// when the scope ends.
class ServicesScope {
public:
    explicit ServicesScope(const ComPtr<THostServices>& services);
    ~ServicesScope();
    ServicesScope(const ServicesScope&) = delete;
    ServicesScope& operator=(const ServicesScope&) = delete;
};

} // namespace zandrel::host
