#include "host/ProjectMenu.h"

#include <algorithm>

#include "host/HostProject.h"
#include "platform/rtl/Utf16.h"

namespace zandrel::host {

std::vector<MenuEntry> BuildProjectMenu(const THostServices& services, const ComPtr<toolsapi::IOTAProject>& project,
                                        bool multiSelect) {
    rtl::StringList idents;
    idents.Add("ProjectContainer");
    toolsapi::IInterfaceList list;
    for (const auto& creator : services.Creators()) creator->AddMenu(project, &idents, &list, multiSelect);

    std::vector<MenuEntry> menu;
    for (int i = 0; i < list.Count(); ++i) {
        auto item = ComPtr<toolsapi::IOTALocalMenu>::Query(list[i]);
        if (!item) continue;
        menu.push_back({item, item->GetCaption(), DisplayCaption(item->GetCaption()), item->GetPosition()});
    }
    std::stable_sort(menu.begin(), menu.end(), [](const MenuEntry& a, const MenuEntry& b) { return a.position < b.position; });
    return menu;
}

std::string DisplayCaption(const std::string& caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += caption[i];
    }
    return out;
}

std::optional<MenuEntry> FindMenuEntry(const std::vector<MenuEntry>& menu, const std::string& caption) {
    for (const MenuEntry& e : menu)
        if (rtl::SameTextAscii(e.caption, caption) || rtl::SameTextAscii(e.displayCaption, caption)) return e;
    return std::nullopt;
}

bool ExecuteMenuEntry(const MenuEntry& entry, const ComPtr<toolsapi::IOTAProject>& project) {
    auto command = ComPtr<toolsapi::IOTAZandrelMenu>::Query(entry.item);
    if (!command) return false;
    toolsapi::IInterfaceList context;
    context.Add(ComPtr<toolsapi::IInterface>(ComPtr<toolsapi::IOTAProjectMenuContext>(new THostMenuContext(project))));
    if (!command->PreExecute(context)) return false;
    command->Execute(context);
    command->PostExecute(context);
    return true;
}

} // namespace zandrel::host
