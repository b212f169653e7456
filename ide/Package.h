#pragma once
// The entry points a host looks up after loading the package library.
#include <cstdint>

extern "C" {
// The package's description text (zero-terminated UTF-16).
const char16_t* ZandrelPackageDescription();
void ZandrelPackageInitialize();
// Registers with the host; null on success, otherwise the error's text (valid until the next call).
const char* ZandrelPackageRegister();
const char* ZandrelPackageFinalize();
}
