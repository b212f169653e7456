#pragma once
// A project as the host holds it: a project file on disk.
#include <string>

#include "platform/toolsapi/ToolsAPI.h"

namespace zandrel::host {

class THostProject : public toolsapi::TInterfacedObject, public virtual toolsapi::IOTAProject {
public:
    explicit THostProject(std::string fileName) : fileName_(std::move(fileName)) {}
    std::string GetFileName() override { return fileName_; }
    // The host has no unsaved editor buffers; saving succeeds when the project file exists and
    // may be written, as a save would need.
    bool Save(bool ChildName, bool ForceSave) override;
    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override;
    // Why the last Save failed, in words for the person; empty after one that succeeded. The
    // commands stop without a word when the project cannot be saved, so the host says it.
    const std::string& SaveFailure() const { return saveFailure_; }

private:
    std::string fileName_;
    std::string saveFailure_;
};

// The clicked node of a project tree, handed to menu commands.
class THostMenuContext : public toolsapi::TInterfacedObject, public virtual toolsapi::IOTAProjectMenuContext {
public:
    explicit THostMenuContext(toolsapi::ComPtr<toolsapi::IOTAProject> project) : project_(std::move(project)) {}
    toolsapi::ComPtr<toolsapi::IOTAProject> GetProject() override { return project_; }
    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override;

private:
    toolsapi::ComPtr<toolsapi::IOTAProject> project_;
};

} // namespace zandrel::host
