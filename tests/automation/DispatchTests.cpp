#include <gtest/gtest.h>

#include <string>

#include "platform/automation/Automation.h"

namespace zandrel::automation {
namespace {

// A mail-item-like object: a method with optional arguments and a writable property.
class MailItem : public DispatchObject {
public:
    MailItem() : DispatchObject("MailItem") {
        AddMethod("Display", 0, 1, [this](std::vector<Variant>& args) {
            lastDisplayArgs = args.size();
            return Variant();
        });
        AddMethod("To", 0, 0, [this](auto&) { return Variant(to); });
        AddSetter("To", [this](Variant v) { to = v.AsString(); });
        AddMethod("Add", 1, 1, [](std::vector<Variant>& args) { return Variant(args[0].AsString() + "!"); });
    }
    std::string to;
    size_t lastDisplayArgs = 99;
};

std::string MessageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AutomationError& e) {
        return e.what();
    }
    return "no error";
}

TEST(DispatchObject, MembersAreFoundWhateverTheCase) {
    MailItem item;
    item.SetProperty("tO", Variant("a@example.com;b@example.com"));
    EXPECT_EQ(item.Invoke("TO", {}).AsString(), "a@example.com;b@example.com");
    EXPECT_EQ(item.Invoke("add", {Variant("x")}).AsString(), "x!");
    item.Invoke("DISPLAY", {});
    EXPECT_EQ(item.lastDisplayArgs, 0u); // an optional argument left out is not made up
}

TEST(DispatchObject, FailedCallsSayWhichClassAndMember) {
    MailItem item;
    EXPECT_THROW(item.Invoke("Sendd", {}), UnknownMember);
    EXPECT_THROW(item.Invoke("Add", {}), BadArgumentCount);
    EXPECT_THROW(item.Invoke("Display", {Variant(1), Variant(2)}), BadArgumentCount);
    EXPECT_THROW(item.Invoke("Add", {Variant(5)}), TypeMismatch);
    EXPECT_THROW(item.SetProperty("Add", Variant("x")), UnknownMember);

    const std::string unknown = MessageOf([&] { item.Invoke("Sendd", {}); });
    EXPECT_NE(unknown.find("MailItem"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("Sendd"), std::string::npos) << unknown;
    const std::string count = MessageOf([&] { item.Invoke("Display", {Variant(1), Variant(2)}); });
    EXPECT_NE(count.find("MailItem.Display"), std::string::npos) << count;
    EXPECT_NE(count.find("0 to 1"), std::string::npos) << count;
    const std::string type = MessageOf([&] { item.Invoke("Add", {Variant(5)}); });
    EXPECT_NE(type.find("MailItem.Add"), std::string::npos) << type;
}

} // namespace
} // namespace zandrel::automation
