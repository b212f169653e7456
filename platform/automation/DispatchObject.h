#pragma once
// A base for objects that publish a fixed table of members: each member has a handler and an
// allowed argument count, so the argument-count check and the messages of a failed call are the
// same for every object.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Object.h"

namespace zandrel::automation {

class DispatchObject : public Object {
public:
    static constexpr size_t kAnyCount = static_cast<size_t>(-1);

    Variant Invoke(std::string_view member, std::vector<Variant> args) override;
    void SetProperty(std::string_view member, Variant value) override;
    std::string ClassName() const override { return className_; }

protected:
    using Method = std::function<Variant(std::vector<Variant>& args)>;
    using Setter = std::function<void(Variant value)>;

    explicit DispatchObject(std::string className) : className_(std::move(className)) {}

    // Registers a method (or readable property) taking between leastArgs and mostArgs arguments;
    // missing optional arguments are not filled in, the handler sees only what was passed.
    void AddMethod(std::string name, size_t leastArgs, size_t mostArgs, Method method);
    void AddSetter(std::string name, Setter setter);

private:
    struct MethodEntry {
        std::string name;
        size_t leastArgs;
        size_t mostArgs;
        Method method;
    };
    struct SetterEntry {
        std::string name;
        Setter setter;
    };

    std::string className_;
    std::vector<MethodEntry> methods_;
    std::vector<SetterEntry> setters_;
};

} // namespace zandrel::automation
