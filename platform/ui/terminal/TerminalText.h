#pragma once
// Text as the terminal shows it: widths counted in characters, long texts shortened, and text
// from settings or servers made harmless before it reaches the terminal.
#include <cstddef>
#include <string>

namespace zandrel::ui {

// Columns a UTF-8 text takes, counted as one per character.
size_t DisplayColumns(const std::string& text);

// `text` in `columns` columns at most, its middle given up for an ellipsis.
std::string ShortenInTheMiddle(const std::string& text, size_t columns);

// `text` with every control character (C0, DEL and the C1 range) replaced by "?": a stored value
// must not be able to move the cursor, clear the screen or retitle the terminal window. A text of
// several lines (a message) keeps its line breaks when asked to.
std::string PrintableText(const std::string& text, bool keepLineBreaks = false);

// A line as the person meant to type it: the key sequences that arrow and function keys put
// into a line (ESC [ D ...) and every other control character are dropped, since a field in a
// window would never have received them.
std::string TypedText(const std::string& line);

// `text` without the blanks and tabs at either end.
std::string Trimmed(const std::string& text);

// A control's caption as a person reads it: the access-key marks ("&User name") dropped, "&&"
// kept as one "&", surrounding blanks and one trailing ":" removed.
std::string PlainCaption(const std::string& caption);

} // namespace zandrel::ui
