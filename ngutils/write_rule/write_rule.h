// What may be written to an INI file: text that reads back as written and cannot add lines,
// sections or keys of its own. The library checks every profile write against it, and our
// engine checks every edit, so both builds refuse the same writes.
#pragma once

#include <algorithm>
#include <string_view>

namespace NGUtils::WriteRule {

namespace Detail {

template <typename Char>
bool HasLineBreakOrNul(std::basic_string_view<Char> text) {
    return std::ranges::any_of(
        text, [](Char c) { return c == Char('\r') || c == Char('\n') || c == Char(0); });
}

// A name as it is written: the profile functions drop the caller's spaces at both ends.
template <typename Char>
std::basic_string_view<Char> WithoutSpaces(std::basic_string_view<Char> text) {
    while (!text.empty() && text.front() == Char(' ')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == Char(' ')) {
        text.remove_suffix(1);
    }
    return text;
}

// A reader trims the file's blanks (space, tab, vertical tab) around a name but only spaces
// around the name it is asked for, so a written name that starts or ends with a tab or vertical
// tab is never found again.
template <typename Char>
bool ReadsBack(std::basic_string_view<Char> written) {
    auto isBlank = [](Char c) { return c == Char('\t') || c == Char('\v'); };
    return written.empty() || (!isBlank(written.front()) && !isBlank(written.back()));
}

}  // namespace Detail

// A header ends at its first "]", and a name of blanks only is the empty one: that names "[]",
// which no migration writes.
template <typename Char>
bool IsWritableSection(std::basic_string_view<Char> section) {
    const auto written = Detail::WithoutSpaces(section);
    return !written.empty() && Detail::ReadsBack(written) && !Detail::HasLineBreakOrNul(section) &&
           section.find(Char(']')) == std::basic_string_view<Char>::npos;
}

// "=" would split the key; a key line starting with "[" reads as a header and one starting with
// ";" as a comment.
template <typename Char>
bool IsWritableKey(std::basic_string_view<Char> key) {
    const auto written = Detail::WithoutSpaces(key);
    return Detail::ReadsBack(written) && !Detail::HasLineBreakOrNul(key) &&
           key.find(Char('=')) == std::basic_string_view<Char>::npos &&
           (written.empty() || (written.front() != Char('[') && written.front() != Char(';')));
}

template <typename Char>
bool IsWritableValue(std::basic_string_view<Char> value) {
    return !Detail::HasLineBreakOrNul(value);
}

// One profile write. Without a key (null) the whole section goes and the value plays no part;
// without a value (null) the key goes.
template <typename Char>
bool IsAcceptedWrite(std::basic_string_view<Char> section, const std::basic_string_view<Char>* key,
                     const std::basic_string_view<Char>* value) {
    if (!IsWritableSection(section)) {
        return false;
    }
    if (key == nullptr) {
        return true;
    }
    return IsWritableKey(*key) && (value == nullptr || IsWritableValue(*value));
}

// The same for the C strings of the profile functions; a null section is refused.
template <typename Char>
bool IsAcceptedWrite(const Char* section, const Char* key, const Char* value) {
    using View = std::basic_string_view<Char>;
    if (section == nullptr) {
        return false;
    }
    const View keyText = key != nullptr ? View(key) : View();
    const View valueText = value != nullptr ? View(value) : View();
    return IsAcceptedWrite(View(section), key != nullptr ? &keyText : nullptr,
                           value != nullptr ? &valueText : nullptr);
}

}  // namespace NGUtils::WriteRule
