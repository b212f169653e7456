#pragma once
// The desktop's mail composer: the mail program registered for mailto: links, reached through
// xdg-email, which opens a new message with the fields and attachments filled in for the person
// to edit and send.
#include <string>

#include "platform/mail/Draft.h"

namespace zandrel::mail {

// xdg-email on PATH; empty when there is none.
std::string FindComposer();

// The draft as a mailto: link: the first To address before "?", then one cc and bcc field per
// address, subject, body, one attach per file (a full path), and a to field for each further To
// address; a field only when it is not empty. Everything but letters, digits and "-._~@/" is
// percent-encoded (UTF-8), so no text can end a field early.
std::string MailtoUri(const Draft& draft);

// Opens the composer with the draft. Done when xdg-email says the mail program took it, or is
// still busy after the hand-off limit (a mail program that stays in the foreground: it is left
// running). Raises MailError with the reason when there is no composer (xdg-email missing, or no
// mail program registered) or it failed; MailStopped on Ctrl-C.
void OpenComposer(const Draft& draft);

} // namespace zandrel::mail
