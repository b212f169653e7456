#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/automation/Automation.h"

namespace zandrel::automation {
namespace {

class Dummy : public DispatchObject {
public:
    Dummy() : DispatchObject("Dummy") {}
};

TEST(Variant, ConstructorsPickTheIntendedType) {
    struct Case {
        Variant value;
        Variant::Type type;
    };
    const Case cases[] = {
        {Variant(), Variant::Type::Empty},
        {Variant(true), Variant::Type::Bool},
        {Variant(0xC0), Variant::Type::Int32},
        {Variant(std::numeric_limits<int64_t>::max()), Variant::Type::Int64},
        {Variant(uint32_t{0x80000000u}), Variant::Type::Int64}, // does not fit 32 signed bits
        {Variant(int64_t{5}), Variant::Type::Int32},            // small values stay 32-bit
        {Variant(1.5), Variant::Type::Double},
        {Variant("*.*"), Variant::Type::String}, // a literal must not turn into a bool
        {Variant(std::string("x")), Variant::Type::String},
        {Variant(ObjectRef()), Variant::Type::Empty}, // a null reference is "Nothing"
        {Variant(std::make_shared<Dummy>()), Variant::Type::Object},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value.type(), c.type) << c.value.TypeName();
}

TEST(Variant, AccessorsConvertOnlyWhereNothingIsLost) {
    EXPECT_EQ(Variant(7).AsInt64(), 7);
    EXPECT_EQ(Variant(int64_t{7}).AsInt32(), 7);
    EXPECT_DOUBLE_EQ(Variant(3).AsDouble(), 3.0);
    EXPECT_EQ(Variant("Ünïcödé").AsString(), "Ünïcödé");
    EXPECT_THROW(Variant(int64_t{1} << 40).AsInt32(), TypeMismatch);
    EXPECT_THROW(Variant(1.0).AsInt32(), TypeMismatch);
    EXPECT_THROW(Variant(1).AsBool(), TypeMismatch);
    EXPECT_THROW(Variant("1").AsInt32(), TypeMismatch);
}

TEST(Variant, WrongTypeNamesBothTypesAndIsAPlatformError) {
    try {
        (void)Variant().AsObject();
        FAIL() << "no error";
    } catch (const rtl::Error& e) {
        EXPECT_NE(dynamic_cast<const TypeMismatch*>(&e), nullptr);
        EXPECT_NE(std::string(e.what()).find("object"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("empty"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace zandrel::automation
