#pragma once
// What the mail layer raises: an automation error, since the mail application's members are what
// callers reach it through, carrying a reason in words a person can act on.
#include <string>

#include "platform/automation/Errors.h"

namespace zandrel::mail {

class MailError : public automation::AutomationError {
public:
    using automation::AutomationError::AutomationError;
};

// The person asked to stop (Ctrl-C) while a mail program was being run; nothing was sent.
class MailStopped : public MailError {
public:
    MailStopped() : MailError("stopped before the mail program was done; nothing was sent") {}
};

} // namespace zandrel::mail
