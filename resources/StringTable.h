#pragma once
// The package's resources: its string table and its description.
#include <string>

namespace zandrel::resources {

// The text of a string-table entry; empty for an id the table lacks.
std::string LoadResString(int id);

// The package's DESCRIPTION resource, a zero-terminated UTF-16 text.
const char16_t* PackageDescription();

} // namespace zandrel::resources
