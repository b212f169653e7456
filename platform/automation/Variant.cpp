#include "platform/automation/Variant.h"

#include <utility>

#include "platform/automation/Errors.h"

namespace zandrel::automation {

Variant::Variant(ObjectRef object) : value_(object ? Storage(std::move(object)) : Storage()) {}

const char* Variant::TypeName(Type type) {
    switch (type) {
    case Type::Empty: return "empty";
    case Type::Bool: return "bool";
    case Type::Int32: return "int32";
    case Type::Int64: return "int64";
    case Type::Double: return "double";
    case Type::String: return "string";
    case Type::Object: return "object";
    }
    return "unknown";
}

void Variant::Mismatch(const char* wanted) const {
    throw TypeMismatch(std::string("Type mismatch: expected ") + wanted + ", the value is " + TypeName());
}

bool Variant::AsBool() const {
    if (const bool* b = std::get_if<bool>(&value_)) return *b;
    Mismatch("bool");
}

int64_t Variant::AsInt64() const {
    if (const int32_t* i = std::get_if<int32_t>(&value_)) return *i;
    if (const int64_t* i = std::get_if<int64_t>(&value_)) return *i;
    Mismatch("an integer");
}

int32_t Variant::AsInt32() const {
    const int64_t wide = AsInt64();
    if (!std::in_range<int32_t>(wide))
        throw TypeMismatch("Overflow: " + std::to_string(wide) + " does not fit a 32-bit integer");
    return static_cast<int32_t>(wide);
}

double Variant::AsDouble() const {
    if (const double* d = std::get_if<double>(&value_)) return *d;
    if (IsInteger()) return static_cast<double>(AsInt64());
    Mismatch("a number");
}

const std::string& Variant::AsString() const {
    if (const std::string* s = std::get_if<std::string>(&value_)) return *s;
    Mismatch("a string");
}

const ObjectRef& Variant::AsObject() const {
    if (const ObjectRef* o = std::get_if<ObjectRef>(&value_)) return *o;
    Mismatch("an object");
}

} // namespace zandrel::automation
