#include <gio/gio.h>

#include "platform/shell/Shell.h"

namespace zandrel::shell {
namespace {

bool LooksLikeUri(const std::string& text) {
    const auto colon = text.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i)
        if (!g_ascii_isalnum(text[i]) && text[i] != '+' && text[i] != '-' && text[i] != '.') return false;
    return true;
}

} // namespace

OpenResult OpenWithDesktop(const std::string& pathOrUrl) {
    RegisterShellApplication();
    OpenResult result;
    if (pathOrUrl.empty()) {
        result.message = "Nothing to open";
        return result;
    }
    std::string uri;
    if (LooksLikeUri(pathOrUrl)) {
        uri = pathOrUrl;
    } else {
        // GFile makes the path absolute and escapes it properly for a file:// URI.
        GFile* file = g_file_new_for_path(pathOrUrl.c_str());
        char* text = g_file_get_uri(file);
        uri = text;
        g_free(text);
        g_object_unref(file);
    }
    // Finding the default application and starting it does not wait for it; with no application
    // for the type (or no desktop at all) GIO says so at once.
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) {
        result.ok = true;
    } else {
        result.message = error ? error->message : "Cannot open \"" + pathOrUrl + "\"";
        g_clear_error(&error);
    }
    return result;
}

} // namespace zandrel::shell
