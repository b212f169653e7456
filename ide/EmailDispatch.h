#pragma once
// Handing the project archive to the person's mail program: the mail application first, the
// desktop's default mail program when that cannot take it.
#include <cstdint>
#include <string>

namespace zandrel::ide {

void SendProjectMail(const std::string& ArchivePath);
// True when the mail application sent or displayed the message.
bool SendByOutlook(const std::string& ArchivePath);
// The mail call's result: 0 success; -1 no mail library or an error; 1 the library lacks the call.
int32_t SendByMapi(const std::string& ArchivePath);

} // namespace zandrel::ide
