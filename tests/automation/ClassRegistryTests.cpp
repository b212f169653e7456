#include <gtest/gtest.h>

#include "platform/automation/Automation.h"

namespace zandrel::automation {
namespace {

class Counter : public DispatchObject {
public:
    Counter() : DispatchObject("Test.Counter") {
        AddMethod("Next", 0, 0, [this](auto&) { return Variant(++count); });
    }
    int count = 0;
};

class ClassRegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        UnregisterClass("Test.Counter");
        RevokeActiveObject("Test.Counter");
    }
};

TEST_F(ClassRegistryTest, CreatesAFreshInstanceByProgIdOfAnyCase) {
    RegisterClass("Test.Counter", [] { return std::make_shared<Counter>(); });
    auto a = CreateObject("test.counter");
    auto b = CreateObject("TEST.COUNTER");
    EXPECT_EQ(a->Invoke("Next", {}).AsInt32(), 1);
    EXPECT_EQ(a->Invoke("Next", {}).AsInt32(), 2);
    EXPECT_EQ(b->Invoke("Next", {}).AsInt32(), 1);
    EXPECT_EQ(a->ClassName(), "Test.Counter");
}

TEST_F(ClassRegistryTest, UnknownClassAndEmptyFactoryAreClearErrors) {
    try {
        CreateObject("Nope.Application");
        FAIL() << "no error";
    } catch (const ClassNotRegistered& e) {
        EXPECT_EQ(e.progId(), "Nope.Application");
        EXPECT_NE(std::string(e.what()).find("Nope.Application"), std::string::npos);
    }
    RegisterClass("Test.Counter", [] { return ObjectRef(); });
    EXPECT_THROW(CreateObject("Test.Counter"), AutomationError);
    EXPECT_TRUE(UnregisterClass("Test.Counter"));
    EXPECT_FALSE(IsClassRegistered("Test.Counter"));
    EXPECT_THROW(CreateObject("Test.Counter"), ClassNotRegistered);
}

TEST_F(ClassRegistryTest, GetActiveObjectAttachesToTheRegisteredInstanceOnly) {
    EXPECT_THROW(GetActiveObject("Test.Counter"), NoActiveObject);
    auto running = std::make_shared<Counter>();
    RegisterActiveObject("Test.Counter", running);
    auto attached = GetActiveObject("test.COUNTER");
    EXPECT_EQ(attached.get(), running.get());
    attached->Invoke("Next", {});
    EXPECT_EQ(running->count, 1);
    EXPECT_TRUE(RevokeActiveObject("Test.Counter"));
    EXPECT_THROW(GetActiveObject("Test.Counter"), NoActiveObject);
}

} // namespace
} // namespace zandrel::automation
