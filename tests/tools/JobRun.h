#pragma once
// Runs the webcopy tool on a job file written into a test's folder, in the terminal, with no
// display named.
#include <nlohmann/json.hpp>
#include <filesystem>
#include <string>

#include "support/RunProcess.h"

namespace zandrel::tools {

inline testing::ProcessResult RunJob(const testing::TempDir& dir, const nlohmann::ordered_json& job) {
    const std::string path = dir / "job.json";
    testing::WriteFile(path, job.dump(2));
    // Jobs hold passwords: kept private, as the tool asks of job files.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return testing::RunProcess({ZANDREL_WEBCOPY_TOOL, "--ui=terminal", path}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
}

// A job of `items` run without the progress window.
inline testing::ProcessResult RunItems(const testing::TempDir& dir, const nlohmann::ordered_json& items) {
    return RunJob(dir, nlohmann::ordered_json{{"ShowDialog", false}, {"Items", items}});
}

} // namespace zandrel::tools
