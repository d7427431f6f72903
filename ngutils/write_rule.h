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

template <typename Char>
std::basic_string_view<Char> WithoutLeadingBlanks(std::basic_string_view<Char> text) {
    while (!text.empty() && (text.front() == Char(' ') || text.front() == Char('\t'))) {
        text.remove_prefix(1);
    }
    return text;
}

}  // namespace Detail

// A header ends at its last "]", and a reader trims blanks around the name, so a name of blanks
// only is the empty one: that names "[]", which no migration writes.
template <typename Char>
bool IsWritableSection(std::basic_string_view<Char> section) {
    const auto trimmed = Detail::WithoutLeadingBlanks(section);
    return !trimmed.empty() && !Detail::HasLineBreakOrNul(section) &&
           section.find(Char(']')) == std::basic_string_view<Char>::npos;
}

// "=" would split the key; a key line starting with "[" reads as a header and one starting with
// ";" as a comment.
template <typename Char>
bool IsWritableKey(std::basic_string_view<Char> key) {
    const auto trimmed = Detail::WithoutLeadingBlanks(key);
    return !Detail::HasLineBreakOrNul(key) &&
           key.find(Char('=')) == std::basic_string_view<Char>::npos &&
           (trimmed.empty() || (trimmed.front() != Char('[') && trimmed.front() != Char(';')));
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
