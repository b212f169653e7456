#pragma once
// Building a project node's context menu from every registered creator, and running its items.
#include <optional>
#include <string>
#include <vector>

#include "host/HostServices.h"

namespace zandrel::host {

struct MenuEntry {
    ComPtr<toolsapi::IOTALocalMenu> item;
    std::string caption;        // as stored, with "&&" for one ampersand
    std::string displayCaption; // as the menu shows it
    int position = 0;
};

// Asks every creator for items for `project`'s node (ident "ProjectContainer"), ordered by
// position, ties in the order they were added.
std::vector<MenuEntry> BuildProjectMenu(const THostServices& services, const ComPtr<toolsapi::IOTAProject>& project,
                                        bool multiSelect = false);

// "Zip && Upload Project" shows as "Zip & Upload Project"; single "&" accelerator marks vanish.
std::string DisplayCaption(const std::string& caption);

// The entry whose stored or shown caption equals `caption`, letter case ignored.
std::optional<MenuEntry> FindMenuEntry(const std::vector<MenuEntry>& menu, const std::string& caption);

// Runs an entry for `project` as a click would: PreExecute, Execute, PostExecute. False when the
// entry cannot run (not an executable item, or PreExecute refused).
bool ExecuteMenuEntry(const MenuEntry& entry, const ComPtr<toolsapi::IOTAProject>& project);

} // namespace zandrel::host
