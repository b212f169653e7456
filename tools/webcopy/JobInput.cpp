#include "tools/webcopy/JobInput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/webcopy/JobSecrets.h"
#include "tools/webcopy/JobWarnings.h"
#include "webcopy/DesignStreaming.h"
#include "webcopy/StreamingValues.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::tools {

using Json = nlohmann::ordered_json;

std::string ReadJobText(const std::string& path) {
    const bool fromStdin = path == "-";
    const std::string name = fromStdin ? "standard input" : path;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(fromStdin ? stdin : std::fopen(path.c_str(), "rb"),
                                                         fromStdin ? +[](std::FILE*) { return 0; } : &std::fclose);
    if (!file) throw BadJob("cannot read the job from " + name + ": " + std::strerror(errno));
    std::string text;
    char block[65536];
    for (;;) {
        const size_t got = std::fread(block, 1, sizeof block, file.get());
        text.append(block, got);
        if (text.size() > kMaxJobBytes)
            throw BadJob("the job in " + name + " is larger than " + std::to_string(kMaxJobBytes >> 20) + " MB");
        if (got < sizeof block) break;
    }
    if (std::ferror(file.get())) throw BadJob("cannot read the job from " + name + ": " + std::strerror(errno));
    return text;
}

JobHandlers LoadJob(webcopy::TZandrelWebCopy& wc, std::string_view text, const std::string& source) {
    Json job;
    try {
        job = webcopy::ParseJsonText(text);
        if (!job.is_object()) throw BadJob(source + ": the job must be a JSON object");
        JobHandlers handlers;
        if (auto it = job.find("Handlers"); it != job.end()) {
            if (!it->is_object()) throw BadJob(source + ": Handlers: expected an object");
            for (const auto& [name, value] : it->items()) {
                if (!value.is_boolean()) throw BadJob(source + ": Handlers." + name + ": expected true or false");
                if (name == "OnFileDateCheck") handlers.fileDateCheck = value.get<bool>();
                else if (name == "OnCopyOverWrite") handlers.copyOverWrite = value.get<bool>();
                else throw BadJob(source + ": Handlers." + name + ": unknown handler");
            }
            job.erase(it);
        }
        if (const std::string warning = ReadableSecretWarning(job, source); !warning.empty())
            std::fprintf(stderr, "webcopy: warning: %s\n", warning.c_str());
        ResolveJobSecrets(job, source);
        webcopy::LoadComponentJson(wc, job);
        // Said once the job is known to be valid: an unknown property is an error, not this.
        for (const std::string& warning : UnreadPropertyWarnings(job))
            std::fprintf(stderr, "webcopy: warning: %s: %s\n", source.c_str(), warning.c_str());
        return handlers;
    } catch (const webcopy::StreamingError& e) {
        throw BadJob(source + ": " + e.what());
    }
}

} // namespace zandrel::tools
