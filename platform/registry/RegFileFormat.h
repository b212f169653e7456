#pragma once
// The Windows registry export text ("Windows Registry Editor Version 5.00") as the store's file
// format: readable by people, editable by hand and importable into a real registry.
#include <string>
#include <string_view>

#include "platform/registry/Hive.h"

namespace zandrel::registry {

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

// Reads a whole file's bytes: UTF-8 with or without a BOM, or UTF-16LE with its BOM as regedit
// writes it; LF or CRLF line ends; ";" comments; quoted strings, dword:, hex: and hex(N): data with
// continued lines. Only HKEY_CURRENT_USER keys are accepted. Deletion lines ("[-KEY]" and
// "Name"=-) are refused: the file is the store itself, not a patch to apply. An empty file is an
// empty store. Throws FormatError naming `fileName` and the line at fault.
Hive ParseRegFile(std::string_view bytes, const std::string& fileName);

// `text` in double quotes, as the file writes names and strings: backslashes and quotes inside
// are escaped with a backslash.
std::string Quote(std::string_view text);

// The file text for `hive`, UTF-8 with LF line ends. Strings that a quoted form cannot carry
// exactly (NUL, control characters, a missing terminator) are written in hex(1): form.
std::string FormatRegFile(const Hive& hive);

} // namespace zandrel::registry
