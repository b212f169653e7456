#pragma once
// Sending through the system's mail transfer agent, by its `sendmail` interface, which every MTA
// provides (msmtp, Postfix, Exim, ...).
#include <string>

#include "platform/mail/Draft.h"

namespace zandrel::mail {

// The sendmail program: the one on PATH, else /usr/sbin/sendmail, else /usr/lib/sendmail; empty
// when there is none.
std::string FindSendmail();

// Hands the draft as a MIME message to `sendmail -t -oi` (recipients from the To, Cc and Bcc
// fields; a line holding only "." does not end the message). Done only when sendmail exits with
// status 0. Raises MailError with the reason otherwise (sendmail's own words when it gave any),
// MailStopped on Ctrl-C (sendmail is then ended, so nothing goes out).
void SendWithSendmail(const Draft& draft);

} // namespace zandrel::mail
