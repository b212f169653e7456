#pragma once
// A draft as an Internet mail message (MIME): encoded headers, a UTF-8 text part and the
// attachments in base64, each under its file name.
#include <iosfwd>
#include <memory>

#include "platform/mail/Draft.h"

namespace Poco::Net {
class MailMessage;
}

namespace zandrel::mail {

// Builds the message; attachments are opened now (raising MailError for one that cannot be read)
// and read only while the message is written, so a large archive is never held in memory.
std::unique_ptr<Poco::Net::MailMessage> BuildMimeMessage(const Draft& draft);

// Writes it with CR LF line ends, as Internet mail travels.
void WriteMimeMessage(const Poco::Net::MailMessage& message, std::ostream& out);

// An address list as a header field value: display names encoded where they are not plain ASCII,
// quoted where they hold special characters; long lists folded onto continuation lines.
std::string AddressHeader(const std::vector<Address>& addresses);

} // namespace zandrel::mail
