#include <gio/gio.h>

#include "platform/shell/Shell.h"

namespace zandrel::shell {

TrashResult MoveToTrash(const std::string& path) {
    RegisterShellApplication();
    TrashResult result;
    if (path.empty()) {
        result.message = "No path given";
        return result;
    }
    GFile* file = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    if (g_file_trash(file, nullptr, &error)) {
        result.outcome = TrashOutcome::Trashed;
    } else {
        result.outcome = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED) ? TrashOutcome::NotSupported
                                                                                     : TrashOutcome::Failed;
        result.message = error ? error->message : "Cannot move \"" + path + "\" to the trash";
        g_clear_error(&error);
    }
    g_object_unref(file);
    return result;
}

} // namespace zandrel::shell
