#include "platform/mail/SimpleMapi.h"

#include "platform/mail/Composer.h"
#include "platform/mail/Draft.h"
#include "platform/mail/MailError.h"
#include "platform/mail/Sendmail.h"
#include "platform/rtl/FileSystem.h"

namespace zandrel::mail {
namespace {

thread_local std::string lastError;

ULONG Fail(ULONG code, std::string reason) {
    lastError = std::move(reason);
    return code;
}

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

// A recipient's address as the mail program takes it: without the address type "SMTP:".
std::string PlainAddress(const MapiRecipDesc& recipient) {
    std::string address = Text(recipient.lpszAddress);
    if (address.size() >= 5 && (address.compare(0, 5, "SMTP:") == 0 || address.compare(0, 5, "smtp:") == 0))
        address.erase(0, 5);
    return address.empty() ? Text(recipient.lpszName) : address;
}

void Append(std::string& list, const std::string& address) {
    if (address.empty()) return; // an empty entry addresses no one
    if (!list.empty()) list += ";";
    list += address;
}

ULONG SendMail(LHANDLE, uintptr_t, MapiMessage* message, ULONG flags, ULONG) {
    lastError.clear();
    if (!message) return Fail(MAPI_E_INVALID_MESSAGE, "no message was given");
    Draft draft;
    draft.subject = Text(message->lpszSubject);
    draft.body = Text(message->lpszNoteText);
    if (message->nRecipCount > 0 && !message->lpRecips)
        return Fail(MAPI_E_INVALID_RECIPS, "the message counts recipients but has none");
    for (ULONG i = 0; i < message->nRecipCount; ++i) {
        const MapiRecipDesc& recipient = message->lpRecips[i];
        const std::string address = PlainAddress(recipient);
        switch (recipient.ulRecipClass) {
        case MAPI_TO: Append(draft.to, address); break;
        case MAPI_CC: Append(draft.cc, address); break;
        case MAPI_BCC: Append(draft.bcc, address); break;
        default:
            return Fail(MAPI_E_BAD_RECIPTYPE, "recipient " + address + " has the unknown class " +
                                                  std::to_string(recipient.ulRecipClass));
        }
    }
    if (message->nFileCount > 0 && !message->lpFiles)
        return Fail(MAPI_E_ATTACHMENT_NOT_FOUND, "the message counts attachments but has none");
    for (ULONG i = 0; i < message->nFileCount; ++i) {
        const std::string path = Text(message->lpFiles[i].lpszPathName);
        if (!rtl::FileExists(path)) return Fail(MAPI_E_ATTACHMENT_NOT_FOUND, "the attachment \"" + path + "\" does not exist");
        draft.attachments.push_back(path);
    }
    try {
        if (flags & MAPI_DIALOG)
            OpenComposer(draft);
        else
            SendWithSendmail(draft);
    } catch (const MailStopped& e) {
        return Fail(MAPI_USER_ABORT, e.what());
    } catch (const std::exception& e) {
        return Fail(MAPI_E_FAILURE, e.what());
    }
    return SUCCESS_SUCCESS;
}

} // namespace

std::unique_ptr<SimpleMapiLibrary> SimpleMapiLibrary::Load() {
    lastError.clear();
    if (FindComposer().empty()) {
        lastError = "there is no desktop mail program to hand the message to: xdg-email was not found on PATH "
                    "(install xdg-utils and a mail program)";
        return nullptr;
    }
    return std::unique_ptr<SimpleMapiLibrary>(new SimpleMapiLibrary);
}

MapiSendMailFunction SimpleMapiLibrary::FindEntry(std::string_view entry) const {
    return entry == "MAPISendMail" ? &SendMail : nullptr;
}

std::string LastMapiError() { return lastError; }

} // namespace zandrel::mail
