#include "tools/webcopy/JobWarnings.h"

#include "webcopy/Protocols.h"

namespace zandrel::tools {

std::vector<std::string> UnreadPropertyWarnings(const nlohmann::ordered_json& job) {
    std::vector<std::string> warnings;
    const auto items = job.find("Items");
    if (items == job.end() || !items->is_array()) return warnings;
    const auto names = webcopy::Protocols::Names();
    for (size_t i = 0; i < items->size(); ++i) {
        const auto& item = (*items)[i];
        if (!item.is_object()) continue;
        // An item without a Protocol is an HTTP download, the property's default.
        std::string protocolName = "wpHttp";
        if (const auto protocol = item.find("Protocol"); protocol != item.end()) {
            if (!protocol->is_string()) continue;
            protocolName = protocol->get<std::string>();
        }
        size_t ordinal = 0;
        while (ordinal < names.size() && names[ordinal] != protocolName) ++ordinal;
        if (ordinal == names.size()) continue;
        const auto protocol = static_cast<webcopy::TZandrelWebCopyProtocol>(ordinal);
        for (const auto& [name, value] : item.items()) {
            if (webcopy::Protocols::Reads(protocol, name)) continue;
            warnings.push_back("Items[" + std::to_string(i) + "]." + name + ": a " + protocolName +
                               " item does not read it");
        }
    }
    return warnings;
}

} // namespace zandrel::tools
