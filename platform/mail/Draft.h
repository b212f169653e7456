#pragma once
// A message as the person's settings describe it, before it goes to a mail program.
#include <string>
#include <vector>

namespace zandrel::mail {

struct Draft {
    // Address lists as the person wrote them: entries separated by ";" or ",", each a plain
    // address or "Name <address>".
    std::string to, cc, bcc;
    std::string subject;
    std::string body;
    std::vector<std::string> attachments; // paths of files
};

// One entry of an address list.
struct Address {
    std::string name;    // the display name, unquoted; may be empty
    std::string address; // what goes between < and >
};

// The entries of an address list: split at ";" and "," (not inside double quotes or angle
// brackets), blank space around entries and empty entries dropped, control characters (line
// breaks above all, which could start a header of their own) turned into spaces.
std::vector<Address> SplitAddresses(const std::string& list);

// The entries of all three lists of a draft, To first.
std::vector<Address> AllRecipients(const Draft& draft);

// An entry as the person wrote it, for messages and for the composer: "Name <address>" or the
// bare address.
std::string DisplayForm(const Address& address);

// Text with every control character but tab turned into a space (for one-line header fields).
std::string OneLine(const std::string& text);

} // namespace zandrel::mail
