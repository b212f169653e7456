// How "Zip && Email Project" drives the mail application: the running instance first, the
// settings passed whole and in order, Send or Display as auto-send says, and no Quit.
#include <gtest/gtest.h>

#include "ide/EmailDispatch.h"
#include "ide/SettingVariables.h"
#include "platform/automation/Automation.h"

namespace zandrel::ide {
namespace {

using automation::Variant;

// Stands in for a running mail application and writes down every call made on it and its items.
class RecordingObject : public automation::Object {
public:
    RecordingObject(std::string name, std::shared_ptr<std::vector<std::string>> log)
        : name_(std::move(name)), log_(std::move(log)) {}
    Variant Invoke(std::string_view member, std::vector<Variant> args) override {
        std::string call = name_ + "." + std::string(member) + "(";
        for (size_t i = 0; i < args.size(); ++i)
            call += (i ? ", " : "") + (args[i].IsString() ? args[i].AsString() : std::to_string(args[i].AsInt64()));
        log_->push_back(call + ")");
        if (member == "CreateItem") return std::make_shared<RecordingObject>("item", log_);
        if (member == "Attachments") return std::make_shared<RecordingObject>("attachments", log_);
        return {};
    }
    void SetProperty(std::string_view member, Variant value) override {
        log_->push_back(name_ + "." + std::string(member) + " = " + value.AsString());
    }
    std::string ClassName() const override { return name_; }

private:
    std::string name_;
    std::shared_ptr<std::vector<std::string>> log_;
};

TEST(MailDispatch, TheRunningApplicationGetsTheSettingsWholeAndInOrder) {
    EmailTo = "a@x.org; b@y.org";
    EmailCC = "c@x.org";
    EmailBCC = "";
    EmailSubject = "Demo";
    EmailBody = "Hello\r\n";
    for (const bool autoSend : {true, false}) {
        EmailAuto = autoSend;
        auto log = std::make_shared<std::vector<std::string>>();
        automation::RegisterActiveObject("Outlook.Application", std::make_shared<RecordingObject>("app", log));
        EXPECT_TRUE(SendByOutlook("/tmp/Demo.zip"));
        automation::RevokeActiveObject("Outlook.Application");
        EXPECT_EQ(*log, (std::vector<std::string>{
                            "app.CreateItem(0)", "item.To = a@x.org; b@y.org", "item.Cc = c@x.org", "item.BCc = ",
                            "item.Subject = Demo", "item.Body = Hello\r\n", "item.Attachments()",
                            "attachments.Add(/tmp/Demo.zip)", autoSend ? "item.Send()" : "item.Display()"}));
    }
    ReleaseSettingVariables();
    EmailAuto = false;
}

} // namespace
} // namespace zandrel::ide
