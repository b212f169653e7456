// Taking item URLs apart for the HTTP routines. None of these parses a URL in full: each cuts at
// the first "://", "@", "/" or "\" it finds, and a URL without the separator passes unchanged.
// The separators are ASCII, so cutting the UTF-8 text at them cuts it where the characters are.
#include "webcopy/UrlHelpers.h"

#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

// Removes everything up to and including the first `separator`; false when there is none.
bool DeleteThrough(std::string& text, const std::string& separator) {
    const size_t at = text.find(separator);
    if (at == std::string::npos) return false;
    text.erase(0, at + separator.size());
    return true;
}

void CutFrom(std::string& text, char separator) {
    const size_t at = text.find(separator);
    if (at != std::string::npos) text.resize(at);
}

} // namespace

std::string TZandrelWebCopy::MakeProxyUrl(const std::string& URL) const {
    const bool http = URL.size() >= 7 && (URL[0] == 'h' || URL[0] == 'H') && (URL[1] == 't' || URL[1] == 'T') &&
                      (URL[2] == 't' || URL[2] == 'T') && (URL[3] == 'p' || URL[3] == 'P') && URL.compare(4, 3, "://") == 0;
    if (!http || ProxyUserID.empty() || ProxyPassword.empty()) return URL;
    return "http://" + ProxyUserID + ":" + ProxyPassword + "@" + URL.substr(7);
}

std::string TZandrelWebCopy::ExtractServer(const std::string& URL) const {
    std::string s = URL;
    DeleteThrough(s, "://");
    const size_t at = s.find('@');
    const size_t slash = s.find('/');
    if (at != std::string::npos && slash != std::string::npos && slash > at) s.erase(0, at + 1);
    CutFrom(s, '/');
    return s;
}

std::string TZandrelWebCopy::RemoveServer(const std::string& URL) const {
    std::string s = URL;
    DeleteThrough(s, "://");
    DeleteThrough(s, "@");
    const size_t slash = s.find('/');
    if (slash != std::string::npos) s.erase(0, slash);
    return s;
}

std::string ExtractUrlHost(const std::string& URL) {
    std::string s = URL;
    DeleteThrough(s, "://");
    CutFrom(s, '/');
    CutFrom(s, '\\');
    return s;
}

std::string MaskUrlPasswords(const std::string& Text) {
    std::string out;
    size_t copied = 0;
    for (size_t scheme = Text.find("://"); scheme != std::string::npos; scheme = Text.find("://", scheme + 3)) {
        // The server part ends where the path, the query or the fragment begins, or where the URL
        // ends inside a sentence; the user information is what comes before its last "@".
        const size_t start = scheme + 3;
        size_t end = Text.find_first_of("/?# \t\r\n\"'<>", start);
        if (end == std::string::npos) end = Text.size();
        const size_t at = Text.rfind('@', end - 1);
        if (at == std::string::npos || at < start || end == start) continue;
        const size_t colon = Text.find(':', start);
        if (colon == std::string::npos || colon + 1 >= at) continue; // no password, or an empty one
        out.append(Text, copied, colon + 1 - copied);
        out += "*password*";
        copied = at;
    }
    out.append(Text, copied, std::string::npos);
    return out;
}

} // namespace zandrel::webcopy
