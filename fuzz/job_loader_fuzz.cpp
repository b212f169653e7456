// Job files come from people and scripts, and from the events of earlier runs fed back in. Loading
// one must take any bytes without crashing; what it accepts must survive a save and a load
// unchanged, names that are not UTF-8 included; and what it refuses leaves the component as it
// was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/webcopy/JobInput.h"
#include "webcopy/DesignStreaming.h"
#include "webcopy/StreamingValues.h"
#include "webcopy/ZandrelWebCopy.h"

using zandrel::webcopy::TZandrelWebCopy;

namespace {

[[noreturn]] void Broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "job loader: %s\n%s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TZandrelWebCopy wc;
    const std::string untouched = zandrel::webcopy::SaveComponentText(wc);
    try {
        zandrel::tools::LoadJob(wc, text, "job");
    } catch (const zandrel::tools::BadJob&) {
        if (zandrel::webcopy::SaveComponentText(wc) != untouched) Broken("a refused job changed the component", "");
        return 0;
    }
    const std::string saved = zandrel::webcopy::SaveComponentText(wc);
    TZandrelWebCopy again;
    try {
        zandrel::webcopy::LoadComponentText(again, saved);
    } catch (const zandrel::webcopy::StreamingError& e) {
        Broken("what was saved cannot be loaded", std::string(e.what()) + "\n" + saved);
    }
    if (zandrel::webcopy::SaveComponentText(again) != saved) Broken("a save and a load changed the job", saved);
    for (int i = 0; i < wc.Items.Count(); ++i) {
        const std::string iso = zandrel::webcopy::DateTimeToIso(wc.Items[i].FileDate);
        zandrel::rtl::TDateTime back = 0;
        if (iso.empty() || !zandrel::webcopy::IsoToDateTime(iso, back)) Broken("a loaded date has no ISO form", iso);
        if (zandrel::webcopy::DateTimeToIso(back) != iso) Broken("an ISO date does not read back", iso);
    }
    return 0;
}
