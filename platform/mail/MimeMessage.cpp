#include "platform/mail/MimeMessage.h"

#include <unistd.h>

#include <Poco/Exception.h>
#include <Poco/Net/FilePartSource.h>
#include <Poco/Net/MailMessage.h>
#include <Poco/Net/StringPartSource.h>
#include <Poco/Timestamp.h>
#include <Poco/UUIDGenerator.h>

#include <ostream>

#include "platform/mail/MailError.h"
#include "platform/rtl/FileSystem.h"

namespace zandrel::mail {
namespace {

using Poco::Net::MailMessage;

bool IsAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// A display name as a phrase: encoded words for text beyond ASCII, a quoted string where an
// ASCII name holds characters with a meaning in address headers.
std::string Phrase(const std::string& name) {
    if (!IsAscii(name)) return MailMessage::encodeWord(name);
    static const std::string specials = "()<>[]:;@\\,.\"";
    if (name.find_first_of(specials) == std::string::npos) return name;
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// Text lines end in CR LF, whatever they ended in before (a lone LF or CR too).
std::string WithCrLf(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            result += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            result += c;
        }
    }
    return result;
}

std::string MediaTypeFor(const std::string& fileName) {
    std::string ext = rtl::ExtractFileExt(fileName);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".zip" ? "application/zip" : "application/octet-stream";
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

} // namespace

std::string AddressHeader(const std::vector<Address>& addresses) {
    std::string header;
    size_t lineLength = 4; // "Cc: " and its like
    for (size_t i = 0; i < addresses.size(); ++i) {
        const Address& a = addresses[i];
        std::string entry = a.name.empty() ? a.address : Phrase(a.name) + " <" + a.address + ">";
        if (i + 1 < addresses.size()) entry += ",";
        if (i > 0) {
            if (lineLength + 1 + entry.size() > 76) {
                header += "\r\n ";
                lineLength = 1;
            } else {
                header += " ";
                ++lineLength;
            }
        }
        header += entry;
        lineLength += entry.size();
    }
    return header;
}

std::unique_ptr<MailMessage> BuildMimeMessage(const Draft& draft) {
    auto message = std::make_unique<MailMessage>();
    message->setDate(Poco::Timestamp());
    message->set("Message-ID", "<" + Poco::UUIDGenerator::defaultGenerator().createRandom().toString() + "@" +
                                   HostName() + ">");
    const std::pair<const char*, const std::string*> lists[] = {{"To", &draft.to}, {"Cc", &draft.cc}, {"Bcc", &draft.bcc}};
    for (const auto& [field, list] : lists) {
        const std::vector<Address> addresses = SplitAddresses(*list);
        if (!addresses.empty()) message->set(field, AddressHeader(addresses));
    }
    // Line breaks in a subject would start header fields of their own.
    message->setSubject(MailMessage::encodeWord(OneLine(draft.subject)));

    const std::string body = WithCrLf(draft.body);
    if (draft.attachments.empty()) {
        message->setContentType("text/plain; charset=UTF-8");
        message->setContent(body, MailMessage::ENCODING_QUOTED_PRINTABLE);
        return message;
    }
    message->addContent(new Poco::Net::StringPartSource(body, "text/plain; charset=UTF-8"),
                        MailMessage::ENCODING_QUOTED_PRINTABLE);
    for (const std::string& path : draft.attachments) {
        const std::string fileName = MailMessage::encodeWord(OneLine(rtl::ExtractFileName(path)));
        Poco::Net::PartSource* source = nullptr;
        try {
            // Opens the file now; it is read while the message is written.
            source = new Poco::Net::FilePartSource(path, fileName, MediaTypeFor(path));
        } catch (const Poco::Exception& e) {
            throw MailError("cannot read the attachment " + path + ": " + e.displayText());
        }
        message->addAttachment(fileName, source);
    }
    return message;
}

void WriteMimeMessage(const MailMessage& message, std::ostream& out) { message.write(out); }

} // namespace zandrel::mail
