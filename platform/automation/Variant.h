#pragma once
// The value that crosses a late-bound call: empty, bool, 32- or 64-bit integer, double, UTF-8 text
// or a reference to another automation object. Accessors check the type and raise TypeMismatch
// instead of guessing; integers widen (and narrow when the value fits), as the automation runtime
// coerces them.
#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <string_view>
#include <variant>

namespace zandrel::automation {

class Object;
using ObjectRef = std::shared_ptr<Object>;

class Variant {
public:
    enum class Type { Empty, Bool, Int32, Int64, Double, String, Object };

    Variant() = default;
    Variant(bool value) : value_(value) {}
    // Any integer type; it is held as 32 bits when it fits, else 64 bits.
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, char>)
    Variant(T value) : value_(FromInteger(value)) {}
    Variant(double value) : value_(value) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(std::string_view value) : value_(std::string(value)) {}
    // Without this a string literal would turn into a bool.
    Variant(const char* value) : value_(std::string(value)) {}
    // A null reference is the empty value, as "Nothing" is.
    Variant(ObjectRef object);
    template <std::derived_from<Object> T>
    Variant(std::shared_ptr<T> object) : Variant(ObjectRef(std::move(object))) {}

    Type type() const { return static_cast<Type>(value_.index()); }
    bool IsEmpty() const { return type() == Type::Empty; }
    bool IsObject() const { return type() == Type::Object; }
    bool IsString() const { return type() == Type::String; }
    bool IsInteger() const { return type() == Type::Int32 || type() == Type::Int64; }

    bool AsBool() const;
    int32_t AsInt32() const;  // any integer that fits 32 bits
    int64_t AsInt64() const;  // any integer
    double AsDouble() const;  // a double or an integer
    const std::string& AsString() const;
    const ObjectRef& AsObject() const;

    // "empty", "bool", "int32", ... for messages.
    static const char* TypeName(Type type);
    const char* TypeName() const { return TypeName(type()); }

    friend bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

private:
    using Storage = std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, ObjectRef>;

    template <std::integral T>
    static Storage FromInteger(T value) {
        if (std::in_range<int32_t>(value)) return Storage(std::in_place_type<int32_t>, static_cast<int32_t>(value));
        return Storage(std::in_place_type<int64_t>, static_cast<int64_t>(value));
    }
    [[noreturn]] void Mismatch(const char* wanted) const;

    Storage value_;
};

} // namespace zandrel::automation
