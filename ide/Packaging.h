#pragma once
// Building the project archive: staging the matching files, having the shell pack them, and
// cleaning up after it.
#include <string>

#include "platform/rtl/StringList.h"
#include "platform/shell/Shell.h"

namespace zandrel::ide {

// Clears `List` and loads it from `Text` cut at `Delimiter` (the non-strict rule: blanks also
// separate, double quotes group). A missing list is an assertion failure.
void SplitToList(char Delimiter, const std::string& Text, rtl::StringList* List);

// Packs the files of `SourceFolder` that match `Filter` into the archive at `ArchivePath` (an
// empty archive is started when none exists) and returns when the shell has finished, with the
// shell's word on how the copy went: written (perhaps without files it could not read), failed,
// or stopped by Ctrl-C.
shell::CopyReport ShellZipFolder(const std::string& ArchivePath, const std::string& SourceFolder,
                                 const std::string& Filter);

// The number of threads of this process; 0 when it cannot be read.
int CountProcessThreads();

// The 24-byte empty archive that packing starts from.
std::string EmptyArchiveStub();

} // namespace zandrel::ide
