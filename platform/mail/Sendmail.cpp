#include "platform/mail/Sendmail.h"

#include <sys/stat.h>
#include <unistd.h>

#include <Poco/Exception.h>
#include <Poco/Net/MailMessage.h>

#include <exception>
#include <ostream>
#include <streambuf>

#include "platform/mail/ChildProcess.h"
#include "platform/mail/LineEnds.h"
#include "platform/mail/Mail.h"
#include "platform/mail/MailError.h"
#include "platform/mail/MimeMessage.h"
#include "platform/rtl/FileSystem.h"

namespace zandrel::mail {
namespace {

std::string Seconds(std::chrono::milliseconds span) {
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(span).count();
    return std::to_string(s) + (s == 1 ? " second" : " seconds");
}

// The message on its way into sendmail's standard input. Mail travels with CR LF line ends, but
// the sendmail interface takes local text, lines ending in LF: each CR LF becomes LF here. The
// first failure is kept (POCO's writer would otherwise swallow it inside its own streams) and
// every later write fails at once.
class SendmailInput : public std::streambuf {
public:
    SendmailInput(ChildProcess& child, std::chrono::milliseconds stallLimit)
        : child_(child), stallLimit_(stallLimit), buffer_(64 * 1024), converted_(64 * 1024 + 1) {
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }
    ~SendmailInput() override = default;

    // Sends what is buffered and a CR held back at the end; false once anything failed.
    bool Finish() {
        if (!Flush()) return false;
        char last[1];
        const size_t n = lineEnds_.Finish(last);
        return n == 0 || Forward(last, n);
    }
    std::exception_ptr failure() const { return failure_; }

protected:
    int_type overflow(int_type c) override {
        if (!Flush()) return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    int sync() override { return Flush() ? 0 : -1; }

private:
    bool Flush() {
        if (failure_) return false;
        const size_t size = static_cast<size_t>(pptr() - pbase());
        setp(buffer_.data(), buffer_.data() + buffer_.size());
        return Forward(converted_.data(), lineEnds_.Convert(buffer_.data(), size, converted_.data()));
    }

    bool Forward(const char* data, size_t size) {
        try {
            child_.Write(data, size, stallLimit_);
            return true;
        } catch (...) {
            failure_ = std::current_exception();
            return false;
        }
    }

    ChildProcess& child_;
    std::chrono::milliseconds stallLimit_;
    std::vector<char> buffer_;
    std::vector<char> converted_;
    CrLfToLf lineEnds_;
    std::exception_ptr failure_;
};

// Why sendmail did not take the message, in its own words where it gave any: its last few lines,
// whole (msmtp puts the server's reply just before its closing "could not send mail").
std::string Refusal(const std::string& program, const ChildProcess::Ending& ending, const ChildProcess& child) {
    std::string reason = program;
    if (ending.signal != 0)
        reason += " was ended by signal " + std::to_string(ending.signal);
    else
        reason += " did not accept the message (exit status " + std::to_string(ending.exitCode) + ")";
    bool cut = false;
    const std::string output = child.Output(4000, &cut);
    if (const std::string said = MeaningfulLines(output, 3, cut); !said.empty()) reason += ": " + said;
    return reason;
}

} // namespace

std::string FindSendmail() {
    std::string found = FindInPath("sendmail");
    if (!found.empty()) return found;
    for (const char* fixed : {"/usr/sbin/sendmail", "/usr/lib/sendmail"})
        if (access(fixed, X_OK) == 0) return fixed;
    return {};
}

void SendWithSendmail(const Draft& draft) {
    const std::string program = FindSendmail();
    if (program.empty())
        throw MailError("no sendmail program was found (looked on PATH, in /usr/sbin and in /usr/lib); install a "
                        "mail transfer agent that provides it, such as msmtp-mta, and set it up");
    if (AllRecipients(draft).empty()) throw MailError("the message has no recipient: To, Cc and Bcc are all empty");
    for (const std::string& path : draft.attachments)
        if (!rtl::FileExists(path)) throw MailError("the attachment " + path + " is not a file that can be read");
    // Built first, so that an attachment that cannot be opened stops us before sendmail runs.
    const auto message = BuildMimeMessage(draft);
    const MailTimeouts limits = GetMailTimeouts();

    ChildProcess child({program, "-t", "-oi"}, ChildProcess::Input::Pipe);
    SendmailInput input(child, limits.sendmailStall);
    {
        std::ostream out(&input);
        try {
            WriteMimeMessage(*message, out);
            out.flush();
        } catch (const Poco::Exception& e) {
            if (!input.failure()) throw MailError("cannot write the message: " + e.displayText());
        } catch (const std::exception& e) {
            if (!input.failure()) throw MailError(std::string("cannot write the message: ") + e.what());
        }
    }
    if (!input.Finish()) {
        try {
            std::rethrow_exception(input.failure());
        } catch (const MailStopped&) {
            child.Kill();
            throw;
        } catch (const MailError& e) {
            // It may have ended early on a complaint of its own: that is the reason worth telling.
            child.CloseInput();
            const ChildProcess::Ending ending = child.Wait(std::chrono::seconds(2));
            if (ending.ended && (ending.exitCode != 0 || ending.signal != 0))
                throw MailError(Refusal(program, ending, child));
            child.Kill();
            throw MailError(program + ": " + e.what() + "; the message did not go out whole");
        }
    }
    child.CloseInput();
    ChildProcess::Ending ending;
    try {
        ending = child.Wait(limits.sendmailFinish);
    } catch (const MailStopped&) {
        child.Kill();
        throw;
    }
    if (!ending.ended) {
        child.Kill();
        throw MailError(program + " did not finish within " + Seconds(limits.sendmailFinish) +
                        " after taking the message, so it was ended; the message may not have gone out");
    }
    if (ending.exitCode != 0 || ending.signal != 0) throw MailError(Refusal(program, ending, child));
}

} // namespace zandrel::mail
