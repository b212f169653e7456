#pragma once
// The mail programs of the desktop as the system uses them: the mail application behind the
// "Outlook.Application" automation class (mail items with recipients, subject, body and
// attachments, which it sends through the system's sendmail or opens in the desktop's mail
// composer), and the Simple MAPI call of SimpleMapi.h.
#include <chrono>

namespace zandrel::mail {

// Registers "Outlook.Application" with the automation class table. Safe to call any number of
// times, from any thread; every program that includes this header has it called at start-up.
void RegisterMailApplication();

// How long the mail programs are waited for. Every wait is bounded; Ctrl-C ends each one at once.
struct MailTimeouts {
    // sendmail takes no part of the message for this long: it is ended, nothing is sent.
    std::chrono::milliseconds sendmailStall{std::chrono::seconds(120)};
    // sendmail has the whole message but has not finished after this long.
    std::chrono::milliseconds sendmailFinish{std::chrono::seconds(300)};
    // The composer launcher (xdg-email) has not handed the message over after this long: the mail
    // program it started is taken to be open, and left running for the person.
    std::chrono::milliseconds composerHandOff{std::chrono::seconds(30)};
};
MailTimeouts GetMailTimeouts();
void SetMailTimeouts(const MailTimeouts& timeouts);

namespace detail {
inline const bool kMailApplicationRegistered = (RegisterMailApplication(), true);
} // namespace detail

} // namespace zandrel::mail
