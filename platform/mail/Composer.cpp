#include "platform/mail/Composer.h"

#include <filesystem>

#include "platform/mail/ChildProcess.h"
#include "platform/mail/Mail.h"
#include "platform/mail/MailError.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/PercentEncoding.h"

namespace zandrel::mail {
namespace {

std::string Encoded(const std::string& text) {
    return rtl::PercentEncode(text, [](unsigned char c) { return rtl::IsUriUnreserved(c) || c == '@' || c == '/'; });
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::vector<std::string> EncodedAddresses(const std::string& list) {
    std::vector<std::string> encoded;
    for (const Address& a : SplitAddresses(list)) encoded.push_back(Encoded(DisplayForm(a)));
    return encoded;
}

// What xdg-email's exit status means, for the person.
std::string Failure(const ChildProcess::Ending& ending, const ChildProcess& child) {
    std::string reason;
    if (ending.signal != 0) {
        reason = "xdg-email was ended by signal " + std::to_string(ending.signal);
    } else {
        switch (ending.exitCode) {
        case 3:
            reason = "no mail program is set up for mailto: links (xdg-email found none; exit status 3)";
            break;
        case 2:
            reason = "xdg-email could not find a file it was given (exit status 2)";
            break;
        case 4:
            reason = "the mail program did not take the message (xdg-email exit status 4)";
            break;
        default:
            reason = "xdg-email failed (exit status " + std::to_string(ending.exitCode) + ")";
        }
    }
    // Its last words say what went wrong; before them come the traces of every browser it tried.
    bool cut = false;
    const std::string output = child.Output(8000, &cut);
    if (const std::string said = MeaningfulLines(output, 1, cut); !said.empty()) reason += ": " + said;
    return reason;
}

} // namespace

std::string FindComposer() { return FindInPath("xdg-email"); }

std::string MailtoUri(const Draft& draft) {
    // Laid out as xdg-email lays out its options: the first To address as the link's own, then
    // one field per Cc and Bcc address, subject, body and attachment, then the other To addresses.
    const std::vector<std::string> to = EncodedAddresses(draft.to);
    std::string uri = "mailto:" + (to.empty() ? std::string() : to.front());
    char separator = '?';
    auto add = [&](const char* field, const std::string& value) {
        if (value.empty()) return;
        uri += separator;
        uri += field;
        uri += '=';
        uri += value;
        separator = '&';
    };
    for (const std::string& address : EncodedAddresses(draft.cc)) add("cc", address);
    for (const std::string& address : EncodedAddresses(draft.bcc)) add("bcc", address);
    add("subject", Encoded(OneLine(draft.subject)));
    add("body", Encoded(draft.body));
    for (const std::string& path : draft.attachments) add("attach", Encoded(AbsolutePath(path)));
    for (size_t i = 1; i < to.size(); ++i) add("to", to[i]);
    return uri;
}

void OpenComposer(const Draft& draft) {
    const std::string program = FindComposer();
    if (program.empty())
        throw MailError("the desktop's mail composer cannot be started: xdg-email was not found on PATH (install "
                        "xdg-utils and a mail program)");
    for (const std::string& path : draft.attachments)
        if (!rtl::FileExists(path)) throw MailError("the attachment " + path + " is not a file that can be read");
    // The link is one argument of its own: no shell ever sees it, so no text in it can run anything.
    ChildProcess child({program, MailtoUri(draft)}, ChildProcess::Input::None);
    const ChildProcess::Ending ending = [&] {
        try {
            return child.Wait(GetMailTimeouts().composerHandOff);
        } catch (const MailStopped&) {
            child.LetGo(); // the composer may already be open with the person's message
            throw;
        }
    }();
    if (!ending.ended) {
        child.LetGo();
        return;
    }
    if (ending.exitCode != 0 || ending.signal != 0) throw MailError(Failure(ending, child));
}

} // namespace zandrel::mail
