#include "platform/rtl/ModulePath.h"

#include <filesystem>
#include <system_error>

#ifndef ZANDREL_MODULE_DIR_FROM_BIN
#define ZANDREL_MODULE_DIR_FROM_BIN "../lib/zandrel"
#endif

namespace zandrel::rtl {

std::string ModulePath(const std::string& fileName) {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return fileName;
    const auto bin = exe.parent_path();
    const auto installed = (bin / ZANDREL_MODULE_DIR_FROM_BIN / fileName).lexically_normal();
    if (std::filesystem::exists(installed, ec)) return installed.string();
    return (bin.parent_path() / "lib" / fileName).string();
}

} // namespace zandrel::rtl
