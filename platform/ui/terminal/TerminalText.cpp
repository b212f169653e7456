#include "platform/ui/terminal/TerminalText.h"

namespace zandrel::ui {
namespace {

bool IsContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

// The byte offset where the character numbered `column` begins.
size_t ByteAt(const std::string& text, size_t column) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsContinuationByte(static_cast<unsigned char>(text[i]))) continue;
        if (seen++ == column) return i;
    }
    return text.size();
}

} // namespace

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

size_t DisplayColumns(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text) n += !IsContinuationByte(c);
    return n;
}

std::string ShortenInTheMiddle(const std::string& text, size_t columns) {
    const size_t have = DisplayColumns(text);
    if (have <= columns) return text;
    if (columns == 0) return "";
    const size_t keep = columns - 1;
    const size_t head = (keep + 1) / 2;
    const size_t tail = keep - head;
    return text.substr(0, ByteAt(text, head)) + "\u2026" + text.substr(ByteAt(text, have - tail));
}

std::string PrintableText(const std::string& text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n' && keepLineBreaks) {
            out += '\n';
        } else if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080 to U+009F: some terminals act on these as they do on ESC sequences.
            out += '?';
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string TypedText(const std::string& line) {
    std::string typed;
    for (size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == 0x1B && i + 1 < line.size()) {
            const char kind = line[++i];
            if (kind == '[') { // CSI: parameters and intermediates up to one final byte
                while (i + 1 < line.size() && (static_cast<unsigned char>(line[i + 1]) < 0x40 ||
                                               static_cast<unsigned char>(line[i + 1]) > 0x7E))
                    ++i;
                ++i;
            } else if (kind == 'O') { // SS3: one more byte (F1 to F4, keypad keys)
                ++i;
            }
            continue;
        }
        if (c >= 0x20 && c != 0x7F) typed += static_cast<char>(c);
    }
    return typed;
}

std::string PlainCaption(const std::string& caption) {
    std::string plain;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] != '&') {
            plain += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
            plain += '&';
            ++i;
        }
    }
    plain = Trimmed(plain);
    if (!plain.empty() && plain.back() == ':') plain = Trimmed(plain.substr(0, plain.size() - 1));
    return plain;
}

} // namespace zandrel::ui
