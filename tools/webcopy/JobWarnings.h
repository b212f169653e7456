#pragma once
// What in a job is not wrong but does nothing: an item property that the item's kind never reads
// (TargetDir on a listing, HTTPCommand on a download). The job still runs; the person is told.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zandrel::tools {

// One line for each property an item sets that its protocol does not read: "Items[1].TargetDir:
// a wpFtpList item does not read it". Items whose protocol is not known are left to the loader.
std::vector<std::string> UnreadPropertyWarnings(const nlohmann::ordered_json& job);

} // namespace zandrel::tools
