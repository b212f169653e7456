#include "platform/ui/terminal/TerminalForm.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <vector>

#include "platform/ui/Interrupt.h"
#include "platform/ui/terminal/TerminalConsole.h"
#include "platform/ui/terminal/TerminalText.h"

namespace zandrel::ui {
namespace {

// Group boxes inside group boxes are followed this deep at most (a loop of parents set by
// mistake must not hang the listing).
constexpr int kMaxDepth = 8;
constexpr size_t kValueColumns = 60;
constexpr size_t kCaptionColumns = 24;
// A memo takes this many lines at most from one answer.
constexpr size_t kMaxMemoLines = 1000;

// The group boxes `control` sits in, outermost first.
std::vector<const Control*> GroupsAround(const Control& control) {
    std::vector<const Control*> groups;
    for (const Control* p = control.Parent(); p && groups.size() < kMaxDepth; p = p->Parent()) groups.push_back(p);
    std::reverse(groups.begin(), groups.end());
    return groups;
}

// A control inside a hidden group box is hidden too, and one inside a disabled box is disabled.
bool OnScreen(const Control& control) {
    if (!control.Visible()) return false;
    for (const Control* group : GroupsAround(control))
        if (!group->Visible()) return false;
    return true;
}

bool Usable(const Control& control) {
    if (!control.Enabled()) return false;
    for (const Control* group : GroupsAround(control))
        if (!group->Enabled()) return false;
    return true;
}

// The kinds of control a person works; progress bars and animations only show.
bool Workable(const Control& control) {
    return dynamic_cast<const Edit*>(&control) || dynamic_cast<const SpinEdit*>(&control) ||
           dynamic_cast<const CheckBox*>(&control) || dynamic_cast<const ListBox*>(&control) ||
           dynamic_cast<const Button*>(&control);
}

std::string CaptionOf(const Form& form, const Control& control) {
    for (const auto& c : form.Controls())
        if (auto* label = dynamic_cast<const Label*>(c.get()); label && label->FocusControl() == &control)
            return PrintableText(PlainCaption(label->Caption()));
    // Buttons and check boxes carry their own caption. An edit's caption is its text, and spin
    // edits and lists show none: without a label, their hint or name says what they are for.
    const bool ownCaption = dynamic_cast<const Button*>(&control) || dynamic_cast<const CheckBox*>(&control);
    for (const std::string* text : {ownCaption ? &control.Caption() : nullptr, &control.Hint(), &control.Name()})
        if (text && !PlainCaption(*text).empty()) return PrintableText(PlainCaption(*text));
    if (dynamic_cast<const SpinEdit*>(&control)) return "Number";
    if (dynamic_cast<const ListBox*>(&control)) return "List";
    return dynamic_cast<const Edit*>(&control) ? "Text" : "Choice";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string::npos) return lines;
        start = end + 1;
    }
}

// A password shows as a mark of the same width whatever it holds: its length would tell an
// onlooker (or a screen recording) how much is left to guess.
std::string Masked(const std::string& text) { return text.empty() ? std::string() : std::string(8, '*'); }

std::string Join(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& part : parts) joined += (joined.empty() ? "" : ", ") + part;
    return joined;
}

std::string ValueOf(const Control& control) {
    if (auto* edit = dynamic_cast<const Edit*>(&control)) {
        if (edit->Password()) return Masked(edit->Caption());
        if (!edit->Multiline()) return ShortenInTheMiddle(PrintableText(edit->Caption()), kValueColumns);
        const std::vector<std::string> lines = Lines(edit->Caption());
        std::string first = ShortenInTheMiddle(PrintableText(lines.front()), kValueColumns);
        if (lines.size() > 1) first += " (" + std::to_string(lines.size()) + " lines)";
        return first;
    }
    if (auto* spin = dynamic_cast<const SpinEdit*>(&control)) return std::to_string(spin->Value());
    if (auto* check = dynamic_cast<const CheckBox*>(&control)) return check->Checked() ? "[x]" : "[ ]";
    if (auto* list = dynamic_cast<const ListBox*>(&control)) {
        if (list->Items().empty()) return "(empty)";
        std::vector<std::string> items, selected;
        for (size_t i = 0; i < list->Items().size(); ++i) {
            items.push_back(PrintableText(list->Items()[i]));
            if (list->Selected(i)) selected.push_back(items.back());
        }
        std::string value = ShortenInTheMiddle(Join(items), kValueColumns);
        if (!selected.empty()) value += "  (selected: " + ShortenInTheMiddle(Join(selected), kValueColumns) + ")";
        return value;
    }
    return "";
}

struct Entry {
    Control* control;
    std::vector<const Control*> groups;
    bool usable;
    int number; // 0 when it cannot be picked
};

std::vector<Entry> Entries(const Form& form) {
    std::vector<Entry> entries;
    int number = 0;
    for (Control* control : TabSequence(form)) {
        if (!Workable(*control) || !OnScreen(*control)) continue;
        const bool usable = Usable(*control);
        entries.push_back({control, GroupsAround(*control), usable, usable ? ++number : 0});
    }
    return entries;
}

std::string Pad(std::string text, size_t columns) {
    const size_t have = DisplayColumns(text);
    if (have < columns) text.append(columns - have, ' ');
    return text;
}

// A whole number written plainly ("12", "-3", "+7"); false for anything else. Numbers beyond the
// range of `long long` come back as its nearest end.
bool ParseNumber(const std::string& text, long long& value) {
    const std::string digits = text.substr(!text.empty() && (text[0] == '-' || text[0] == '+'));
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text + " ") {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

// One step the person takes on one control. False when Ctrl-C came meanwhile.
class Step {
public:
    Step(const Form& form, TerminalConsole& console) : form_(form), console_(console) {}

    bool Work(Control& control) {
        caption_ = CaptionOf(form_, control);
        if (auto* button = dynamic_cast<Button*>(&control)) {
            button->Click();
            return true;
        }
        if (auto* check = dynamic_cast<CheckBox*>(&control)) {
            check->UserSetChecked(!check->Checked());
            return true;
        }
        // The hint is what a tooltip would have said; an edit without a label already has it as its caption.
        if (const std::string hint = PrintableText(control.Hint()); !hint.empty() && hint != caption_)
            console_.Print("  " + hint + "\n");
        if (auto* edit = dynamic_cast<Edit*>(&control)) return edit->Multiline() ? Memo(*edit) : Text(*edit);
        if (auto* spin = dynamic_cast<SpinEdit*>(&control)) return Number(*spin);
        if (auto* list = dynamic_cast<ListBox*>(&control)) return Choose(*list);
        return true;
    }

private:
    bool Text(Edit& edit) {
        const std::string shown = edit.Password() ? Masked(edit.Caption()) : PrintableText(edit.Caption());
        std::string line;
        const Answer answer = console_.Ask(caption_ + " [" + shown + "] (Enter keeps it, \"-\" empties it" +
                                               (edit.Password() ? "; what you type is not shown" : "") + "): ",
                                           line, edit.Password());
        if (answer == Answer::Interrupted) return false;
        if (answer == Answer::Line && !line.empty()) edit.UserSetText(line == "-" ? "" : line);
        return true;
    }

    bool Memo(Edit& edit) {
        console_.Print(caption_ + ":\n");
        for (const std::string& line : Lines(edit.Caption())) console_.Print("  | " + PrintableText(line) + "\n");
        console_.Print("Type the new text and end it with a line holding only \".\"; Enter at once keeps it, "
                       "\"-\" empties it.\n");
        std::string text, line;
        for (size_t n = 0; n < kMaxMemoLines; ++n) {
            const Answer answer = console_.Ask("> ", line);
            if (answer == Answer::Interrupted) return false;
            if (answer == Answer::End) return true; // Ctrl-D: the text stays as it was
            if (n == 0 && (line.empty() || line == "-")) {
                if (line == "-") edit.UserSetText("");
                return true;
            }
            if (line == ".") break;
            text += (n == 0 ? "" : "\n") + line;
            if (n + 1 == kMaxMemoLines) console_.Print("That is as many lines as the text takes.\n");
        }
        edit.UserSetText(text);
        return true;
    }

    bool Number(SpinEdit& spin) {
        for (;;) {
            std::string line;
            const Answer answer =
                console_.Ask(caption_ + " [" + std::to_string(spin.Value()) + "] (" + std::to_string(spin.MinValue()) +
                                 " to " + std::to_string(spin.MaxValue()) + "; Enter keeps it): ",
                             line);
            if (answer == Answer::Interrupted) return false;
            line = Trimmed(line);
            if (answer == Answer::End || line.empty()) return true;
            long long value = 0;
            if (!ParseNumber(line, value)) {
                console_.Print("\"" + PrintableText(line) + "\" is not a whole number.\n");
                continue;
            }
            const long long clamped = std::clamp<long long>(value, spin.MinValue(), spin.MaxValue());
            if (clamped != value)
                console_.Print(caption_ + " takes " + std::to_string(spin.MinValue()) + " to " +
                               std::to_string(spin.MaxValue()) + "; set to " + std::to_string(clamped) + ".\n");
            spin.UserSetValue(static_cast<int>(clamped));
            return true;
        }
    }

    bool Choose(ListBox& list) {
        const size_t count = list.Items().size();
        if (count == 0) {
            console_.Print(caption_ + ": no lines to select.\n");
            return true;
        }
        for (size_t i = 0; i < count; ++i)
            console_.Print("  " + std::to_string(i + 1) + ". " + (list.Selected(i) ? "[x] " : "[ ] ") +
                           PrintableText(list.Items()[i]) + "\n");
        std::string line;
        const Answer answer = console_.Ask(list.MultiSelect()
                                               ? "Lines to select or deselect, e.g. \"1 3\" (Enter keeps the selection): "
                                               : "Line to select (Enter keeps the selection): ",
                                           line);
        if (answer == Answer::Interrupted) return false;
        if (answer != Answer::Line) return true;
        for (const std::string& word : Words(line)) {
            long long n = 0;
            if (!ParseNumber(word, n) || n < 1 || static_cast<unsigned long long>(n) > count) {
                console_.Print("No line \"" + PrintableText(word) + "\"; the lines are 1 to " + std::to_string(count) +
                               ".\n");
                continue;
            }
            const auto index = static_cast<size_t>(n - 1);
            list.UserSetSelected(index, !list.MultiSelect() || !list.Selected(index));
        }
        return true;
    }

    const Form& form_;
    TerminalConsole& console_;
    std::string caption_;
};

} // namespace

std::string TerminalFormListing(const Form& form) {
    const std::vector<Entry> entries = Entries(form);
    size_t captionColumns = 0;
    int highest = 0;
    for (const Entry& e : entries) {
        highest = std::max(highest, e.number);
        if (!dynamic_cast<const Button*>(e.control))
            captionColumns = std::max(captionColumns, std::min(kCaptionColumns, DisplayColumns(CaptionOf(form, *e.control))));
    }
    const size_t numberColumns = std::to_string(std::max(highest, 1)).size();
    const Button* defaultButton = DefaultButton(form);

    std::string text = PrintableText(form.Caption()) + "\n";
    std::vector<const Control*> open; // the group boxes whose caption is already above
    for (const Entry& e : entries) {
        size_t same = 0;
        while (same < open.size() && same < e.groups.size() && open[same] == e.groups[same]) ++same;
        for (size_t g = same; g < e.groups.size(); ++g)
            text += std::string(2 + 2 * g, ' ') + PrintableText(PlainCaption(e.groups[g]->Caption())) + "\n";
        open = e.groups;

        std::string number = e.number ? std::to_string(e.number) + "." : "-";
        text += std::string(2 + 2 * e.groups.size(), ' ') + std::string(numberColumns + 1 - number.size(), ' ') +
                number + " ";
        const std::string caption = CaptionOf(form, *e.control);
        if (dynamic_cast<const Button*>(e.control)) {
            text += "[" + caption + "]";
            if (e.control == defaultButton) text += " (Enter)";
        } else {
            text += Pad(caption, captionColumns) + "  " + ValueOf(*e.control);
        }
        if (!e.usable) text += " (not available)";
        while (!text.empty() && text.back() == ' ') text.pop_back();
        text += "\n";
    }
    return text;
}

FormEnd WorkFormAtTerminal(Form& form, TerminalConsole& console) {
    bool first = true;
    while (form.Showing()) {
        console.Print((first ? "" : "\n") + TerminalFormListing(form));
        first = false;
        std::vector<Control*> pickable;
        for (const Entry& e : Entries(form))
            if (e.number) pickable.push_back(e.control);
        Button* defaultButton = DefaultButton(form);
        std::string prompt = pickable.empty() ? "" : "Pick 1-" + std::to_string(pickable.size()) + ", ";
        if (defaultButton) prompt += "Enter = " + PrintableText(PlainCaption(defaultButton->Caption())) + ", ";
        prompt += "Ctrl-D = Cancel: ";

        Control* picked = nullptr;
        while (!picked) {
            std::string line;
            if (console.Ask(prompt, line) != Answer::Line) return FormEnd::Abandoned;
            line = Trimmed(line);
            long long n = 0;
            if (line.empty())
                picked = defaultButton;
            else if (ParseNumber(line, n) && n >= 1 && static_cast<unsigned long long>(n) <= pickable.size())
                picked = pickable[static_cast<size_t>(n - 1)];
            else if (pickable.empty())
                console.Print("Nothing here can be picked.\n");
            else
                console.Print("Pick a number from 1 to " + std::to_string(pickable.size()) + ".\n");
        }
        bool goOn = true;
        try {
            goOn = Step(form, console).Work(*picked);
        } catch (const std::exception& e) {
            // A handler failed (a setting could not be written, say): say why and keep the form
            // open, with whatever the handler did before it failed.
            console.Print(std::string("Error: ") + PrintableText(e.what()) + "\n");
        }
        if (!goOn || InterruptPending()) return FormEnd::Abandoned;
    }
    return FormEnd::Closed;
}

} // namespace zandrel::ui
