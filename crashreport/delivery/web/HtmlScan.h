#pragma once
// Reading the forms of an HTML page the way a browser would fill them in: an input's value, a
// text area's content, a list's selected option or the option with a given text. The scanners
// ignore case in tag and attribute names, never read past the page and always move forward, so
// that broken markup ends a scan instead of looping. Values come back with the common character
// references (&amp; &lt; &gt; &quot; &#39; &#NN; &#xHH;) decoded.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace crashreport {

// The value of the first <input> named so; an input without a value attribute gives "".
std::optional<std::string> HtmlInputValue(std::string_view page, std::string_view name);
// The text between <textarea name=...> and </textarea> (or the end of the page).
std::optional<std::string> HtmlTextArea(std::string_view page, std::string_view name);
// The value of the selected option of <select name=...>: the option's value attribute, else its
// text; the first option when none is marked selected; nothing without options.
std::optional<std::string> HtmlSelectedOption(std::string_view page, std::string_view name);
// The value of the option whose text is the given text (case ignored, blanks at its ends too),
// else what HtmlSelectedOption gives.
std::optional<std::string> HtmlOptionByText(std::string_view page, std::string_view name, std::string_view text);

// The repetition count in a title such as "[v1.0 - 3]: ..." (the number after " - ", up to the
// following "]" or the end). Nothing when the title holds no such number.
std::optional<std::uint64_t> TitleRepetition(std::string_view title);
// The title with that number increased by one; the title unchanged when it holds none.
std::string CountTitleRepetition(std::string_view title);

// Case-insensitive search for ASCII text.
bool ContainsNoCase(std::string_view text, std::string_view part);
std::size_t FindNoCase(std::string_view text, std::string_view part, std::size_t from = 0);

} // namespace crashreport
