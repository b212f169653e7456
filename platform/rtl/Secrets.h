#pragma once
// Passwords and passphrases pass through the programs' memory while they log in; a crash must not
// write them to a core file, nor may another process of the user read them out of memory.

namespace zandrel::rtl {

// Makes the process non-dumpable: no core file is written when it crashes, and processes of the
// same user (other than root) cannot attach to it or read its memory. Call once, early in main.
// False when the system refused (the reason is in errno).
bool KeepSecretsOutOfCoreDumps();

} // namespace zandrel::rtl
