#include "platform/mail/Draft.h"

namespace zandrel::mail {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && Blank(text[first])) ++first;
    while (last > first && Blank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

Address ParseEntry(const std::string& entry) {
    Address result;
    const size_t open = entry.rfind('<');
    const size_t close = entry.rfind('>');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        result.address = entry;
        return result;
    }
    result.address = Trimmed(entry.substr(open + 1, close - open - 1));
    std::string name = Trimmed(entry.substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        std::string unquoted;
        for (size_t i = 1; i + 1 < name.size(); ++i) {
            if (name[i] == '\\' && i + 2 < name.size()) ++i;
            unquoted += name[i];
        }
        name = unquoted;
    }
    result.name = name;
    return result;
}

} // namespace

std::string OneLine(const std::string& text) {
    std::string line = text;
    for (char& c : line)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) c = ' ';
    return line;
}

std::vector<Address> SplitAddresses(const std::string& list) {
    std::vector<Address> entries;
    const std::string text = OneLine(list);
    std::string current;
    bool quoted = false, angled = false;
    auto finish = [&] {
        const std::string entry = Trimmed(current);
        current.clear();
        if (entry.empty()) return;
        Address address = ParseEntry(entry);
        if (!address.address.empty()) entries.push_back(std::move(address));
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '\\' && i + 1 < text.size()) {
            current += c;
            current += text[++i];
            continue;
        }
        if (c == '"' && !angled) quoted = !quoted;
        if (c == '<' && !quoted) angled = true;
        if (c == '>' && !quoted) angled = false;
        if ((c == ';' || c == ',') && !quoted && !angled) {
            finish();
            continue;
        }
        current += c;
    }
    finish();
    return entries;
}

std::vector<Address> AllRecipients(const Draft& draft) {
    std::vector<Address> all = SplitAddresses(draft.to);
    for (const std::string* list : {&draft.cc, &draft.bcc})
        for (Address& a : SplitAddresses(*list)) all.push_back(std::move(a));
    return all;
}

std::string DisplayForm(const Address& address) {
    if (address.name.empty()) return address.address;
    return address.name + " <" + address.address + ">";
}

} // namespace zandrel::mail
