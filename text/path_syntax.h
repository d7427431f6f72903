// How both programs cut and join paths, in narrow or wide text: the platform says which style
// it writes, and the logic above joins a folder and a name the same way on both.
#pragma once

#include <string>
#include <string_view>

namespace PathSyntax {

// Windows takes "\" and "/" alike as separators and joins with "\"; POSIX knows "/" alone.
enum class PathStyle { Windows, Posix };

template <typename Char>
constexpr bool IsSeparator(Char c, PathStyle style) {
    return c == Char('/') || (style == PathStyle::Windows && c == Char('\\'));
}

template <typename Char>
constexpr Char Separator(PathStyle style) {
    return style == PathStyle::Windows ? Char('\\') : Char('/');
}

// `name` below `folder`. A folder that already ends in a separator (a root: "D:\", "/") takes
// no second one; an empty folder is not the root, so it takes one.
template <typename Char>
std::basic_string<Char> JoinPath(PathStyle style, std::basic_string<Char> folder,
                                 std::basic_string_view<Char> name) {
    if (folder.empty() || !IsSeparator(folder.back(), style)) {
        folder += Separator<Char>(style);
    }
    folder += name;
    return folder;
}

}  // namespace PathSyntax
