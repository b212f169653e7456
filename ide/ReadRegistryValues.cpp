#include "ide/ContextMenu.h"
#include "ide/SettingVariables.h"

namespace zandrel::ide {

void TProjectContextMenu::ReadRegistryValues() { FTPprt = 21; }

} // namespace zandrel::ide
