#include "ide/EmailDispatch.h"

#include <vector>

#include "ide/HostMessages.h"
#include "ide/Packaging.h"
#include "ide/SettingVariables.h"
#include "platform/automation/Automation.h"
#include "platform/mail/Mail.h"
#include "platform/mail/SimpleMapi.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/Interrupt.h"

namespace zandrel::ide {
namespace {

using automation::ObjectRef;
using automation::Variant;
using toolsapi::TMessageKind;

constexpr const char* kMailProgId = "Outlook.Application";

// What the last attempt of each path came to, for the words SendProjectMail has for the person.
struct Outcome {
    std::string applicationFailure;
    std::string mapiFailure;
};
Outcome lastOutcome;

// The address settings as the person reads them, for a message about where the mail went.
std::string Recipients() {
    std::string text = EmailTo;
    if (!EmailCC.empty()) text += (text.empty() ? "" : ", ") + std::string("cc ") + EmailCC;
    if (!EmailBCC.empty()) text += (text.empty() ? "" : ", ") + std::string("bcc ") + EmailBCC;
    return text.empty() ? "no one" : text;
}

// A reason to be followed by a full stop of ours: without one of its own.
std::string WithoutFullStop(std::string reason) {
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ' || reason.back() == '\n')) reason.pop_back();
    return reason;
}

bool StopAsked() {
    if (!ui::InterruptPending()) return false;
    ui::TakeInterrupt();
    return true;
}

void ReportStopped(const std::string& archivePath) {
    TellHost(TMessageKind::mkStopped, "Zip & Email Project stopped; no message was sent. The archive is " + archivePath);
}

void ReportComposerOpened(const std::string& archivePath) {
    TellHost(TMessageKind::mkInfo,
             "Opened the mail composer with " + archivePath + " attached; the message is sent from there");
}

} // namespace

void SendProjectMail(const std::string& ArchivePath) {
    lastOutcome = {};
    bool sent = false;
    try {
        sent = SendByOutlook(ArchivePath);
    } catch (...) {
        sent = false;
    }
    if (sent) {
        if (EmailAuto)
            TellHost(TMessageKind::mkInfo, "Sent " + ArchivePath + " by e-mail to " + Recipients());
        else
            ReportComposerOpened(ArchivePath);
        return;
    }
    if (StopAsked()) return ReportStopped(ArchivePath);
    int32_t mapiResult = -1;
    try {
        mapiResult = SendByMapi(ArchivePath);
    } catch (...) {
        mapiResult = -1;
    }
    if (mapiResult == 0) {
        // The person asked for the message to go out by itself: say why it did not.
        if (EmailAuto)
            TellHost(TMessageKind::mkWarning, "the message could not be sent by itself (" + WithoutFullStop(lastOutcome.applicationFailure) +
                                                  "); it waits in the mail composer instead");
        ReportComposerOpened(ArchivePath);
        return;
    }
    if (StopAsked()) return ReportStopped(ArchivePath);
    TellHost(TMessageKind::mkError,
             "no mail program could take the message. The mail application: " +
                 WithoutFullStop(lastOutcome.applicationFailure) +
                 ". The desktop's mail program: " + WithoutFullStop(lastOutcome.mapiFailure) + ". The archive is " +
                 ArchivePath +
                 "; attach it to a message yourself, or set up sendmail (for example msmtp-mta) or a desktop mail "
                 "program (xdg-email) and run the command again");
}

bool SendByOutlook(const std::string& ArchivePath) {
    ObjectRef application;
    try {
        application = automation::GetActiveObject(kMailProgId);
    } catch (const std::exception&) {
        try {
            application = automation::CreateObject(kMailProgId);
        } catch (const std::exception& e) {
            lastOutcome.applicationFailure = e.what();
        }
    }
    try {
        if (!application) throw automation::AutomationError("no mail application: " + lastOutcome.applicationFailure);
        ObjectRef item = application->Invoke("CreateItem", {Variant(0)}).AsObject();
        item->SetProperty("To", Variant(EmailTo));
        item->SetProperty("Cc", Variant(EmailCC));
        item->SetProperty("BCc", Variant(EmailBCC));
        item->SetProperty("Subject", Variant(EmailSubject));
        item->SetProperty("Body", Variant(EmailBody));
        ObjectRef attachments = item->Invoke("Attachments", {}).AsObject();
        attachments->Invoke("Add", {Variant(ArchivePath)});
        if (EmailAuto)
            item->Invoke("Send", {});
        else
            item->Invoke("Display", {});
        // The item and the application are let go here; the application is never told to quit.
        return true;
    } catch (const std::exception& e) {
        lastOutcome.applicationFailure = e.what();
        return false;
    } catch (...) {
        lastOutcome.applicationFailure = "the mail application failed";
        return false;
    }
}

int32_t SendByMapi(const std::string& ArchivePath) {
    using namespace mail;
    try {
        rtl::StringList to, cc, bcc;
        SplitToList(';', EmailTo, &to);
        SplitToList(';', EmailCC, &cc);
        SplitToList(';', EmailBCC, &bcc);

        // Every text a record points to lives here until the call has returned.
        std::vector<std::string> names, addresses;
        std::vector<ULONG> classes;
        for (const auto& [list, recipClass] : {std::pair{&to, MAPI_TO}, {&cc, MAPI_CC}, {&bcc, MAPI_BCC}}) {
            for (const std::string& entry : list->Items()) {
                names.push_back(entry);
                addresses.push_back("SMTP:" + entry);
                classes.push_back(recipClass);
            }
        }
        std::vector<MapiRecipDesc> recipients(names.size());
        for (size_t i = 0; i < names.size(); ++i)
            recipients[i] = {0, classes[i], names[i].c_str(), addresses[i].c_str(), 0, nullptr};
        MapiFileDesc attachment{0, 0, 0xFFFFFFFFu, ArchivePath.c_str(), nullptr, nullptr};
        MapiMessage message{};
        message.lpszSubject = EmailSubject.empty() ? nullptr : EmailSubject.c_str();
        message.lpszNoteText = EmailBody.empty() ? nullptr : EmailBody.c_str();
        message.nRecipCount = static_cast<ULONG>(recipients.size());
        message.lpRecips = recipients.empty() ? nullptr : recipients.data();
        message.nFileCount = ArchivePath.empty() ? 0 : 1;
        message.lpFiles = ArchivePath.empty() ? nullptr : &attachment;

        const std::unique_ptr<SimpleMapiLibrary> library = SimpleMapiLibrary::Load();
        if (!library) {
            lastOutcome.mapiFailure = LastMapiError();
            return -1;
        }
        const MapiSendMailFunction send = library->FindEntry("MAPISendMail");
        if (!send) {
            lastOutcome.mapiFailure = "the mail library has no MAPISendMail";
            return 1;
        }
        const ULONG result = send(0, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
        if (result != SUCCESS_SUCCESS)
            lastOutcome.mapiFailure = LastMapiError().empty() ? "MAPISendMail failed with code " + std::to_string(result)
                                                               : LastMapiError();
        return static_cast<int32_t>(result);
    } catch (const std::exception& e) {
        lastOutcome.mapiFailure = e.what();
        return -1;
    } catch (...) {
        lastOutcome.mapiFailure = "the mail library failed";
        return -1;
    }
}

} // namespace zandrel::ide
