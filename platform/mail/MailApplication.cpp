#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/automation/ClassRegistry.h"
#include "platform/automation/DispatchObject.h"
#include "platform/mail/Composer.h"
#include "platform/mail/Mail.h"
#include "platform/mail/MailError.h"
#include "platform/mail/Sendmail.h"
#include "platform/rtl/FileSystem.h"

namespace zandrel::mail {

using automation::Variant;

namespace {

constexpr int kMailItem = 0; // the item type CreateItem is asked for

std::mutex timeoutsLock;
MailTimeouts timeouts;

// The files attached to one mail item.
class AttachmentsObject : public automation::DispatchObject {
public:
    AttachmentsObject() : DispatchObject("Attachments") {
        // Add(Source [, Type, Position, DisplayName]): the file is checked now, as it is taken into
        // the item at this point; the path is fixed against the current folder now too.
        AddMethod("Add", 1, 4, [this](std::vector<Variant>& args) -> Variant {
            const std::string& source = args[0].AsString();
            if (!rtl::FileExists(source)) throw MailError("cannot attach " + source + ": there is no such file");
            std::error_code ec;
            const auto absolute = std::filesystem::absolute(source, ec);
            paths_.push_back(ec ? source : absolute.lexically_normal().string());
            return {};
        });
        AddMethod("Count", 0, 0, [this](std::vector<Variant>&) -> Variant { return static_cast<int32_t>(paths_.size()); });
    }
    const std::vector<std::string>& paths() const { return paths_; }

private:
    std::vector<std::string> paths_;
};

class MailItemObject : public automation::DispatchObject {
public:
    MailItemObject() : DispatchObject("MailItem"), attachments_(std::make_shared<AttachmentsObject>()) {
        const std::pair<const char*, std::string Draft::*> fields[] = {{"To", &Draft::to},
                                                                       {"Cc", &Draft::cc},
                                                                       {"BCC", &Draft::bcc},
                                                                       {"Subject", &Draft::subject},
                                                                       {"Body", &Draft::body}};
        for (const auto& entry : fields) {
            const auto field = entry.second;
            AddSetter(entry.first, [this, field](Variant value) { draft_.*field = value.AsString(); });
            AddMethod(entry.first, 0, 0, [this, field](std::vector<Variant>&) -> Variant { return draft_.*field; });
        }
        AddMethod("Attachments", 0, 0, [this](std::vector<Variant>&) -> Variant { return attachments_; });
        AddMethod("Send", 0, 0, [this](std::vector<Variant>&) -> Variant {
            SendWithSendmail(Filled());
            return {};
        });
        // Display([Modal]): the composer is a program of its own, so it never blocks us modally.
        AddMethod("Display", 0, 1, [this](std::vector<Variant>&) -> Variant {
            OpenComposer(Filled());
            return {};
        });
    }

private:
    Draft Filled() const {
        Draft draft = draft_;
        draft.attachments = attachments_->paths();
        return draft;
    }

    Draft draft_;
    std::shared_ptr<AttachmentsObject> attachments_;
};

class MailApplicationObject : public automation::DispatchObject {
public:
    MailApplicationObject() : DispatchObject("Outlook.Application") {
        AddMethod("CreateItem", 1, 1, [](std::vector<Variant>& args) -> Variant {
            const int32_t type = args[0].AsInt32();
            if (type != kMailItem)
                throw automation::AutomationError("Outlook.Application.CreateItem: item type " + std::to_string(type) +
                                                  " is not supported; only mail items (0) are");
            return std::make_shared<MailItemObject>();
        });
    }
};

} // namespace

void RegisterMailApplication() {
    static std::once_flag once;
    std::call_once(once, [] {
        automation::RegisterClass("Outlook.Application", [] { return std::make_shared<MailApplicationObject>(); });
    });
}

MailTimeouts GetMailTimeouts() {
    std::lock_guard guard(timeoutsLock);
    return timeouts;
}

void SetMailTimeouts(const MailTimeouts& value) {
    std::lock_guard guard(timeoutsLock);
    timeouts = value;
}

} // namespace zandrel::mail
