// The INI engine's pure part: it reads values out of a file's bytes and computes the bytes of a
// file after one edit. It knows nothing of files or folders, so a fuzzer or a benchmark can drive
// it with bytes alone.
//
// Reading follows the Windows profile functions. Blanks in the file are space, tab and vertical
// tab: a reader trims them around names and values, and a line that starts with blanks and ";" is
// a comment. A header's name runs from "[" to the first "]" of its line, or to the line's end
// when it has none. A section or key the caller names loses its spaces at both ends and nothing
// else. Names match without regard to ASCII case; the first matching section and, in it, the
// first matching key win; a value loses one pair of matching surrounding quotes.
//
// Editing keeps every byte it does not have to change: only the one line a write concerns is
// rewritten, inserted or removed, in the file's own encoding and line-break style.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace NGUtils::IniEngine {

// Text as code points. UTF-16 files may hold lone surrogates; they are carried as they are.
using Text = std::u32string;
using TextView = std::u32string_view;

enum class Encoding { Utf8, Utf8WithBom, Utf16Le };

// From the byte order mark. Only the UTF-16 little-endian mark makes a file UTF-16; every other
// file is 8-bit text, read as UTF-8. As on Windows, a UTF-8 mark is text in front of the first
// line (a header there is not found), and a UTF-16 big-endian file is 8-bit text too.
Encoding DetectEncoding(std::string_view fileBytes);

// The value of `key` in `section` as a reader sees it; nothing when the section or key is absent.
// Only the first `limit` characters of the value are decoded and returned. The section "" is the
// one headed "[]": lines above the first header belong to no section, as on Windows.
std::optional<Text> FindValue(std::string_view fileBytes, TextView section, TextView key,
                              std::size_t limit = std::numeric_limits<std::size_t>::max());

// One change of a file. No key: the section goes. A key without a value: the key goes.
struct Edit {
    Text section;
    std::optional<Text> key;
    std::optional<Text> value;
};

enum class EditOutcome {
    Changed,    // newBytes holds the whole new file
    Unchanged,  // the file already says this (or the thing to delete is absent)
    Refused,    // the edit would break the file's structure; nothing may be written
};

// Names in the edit lose their spaces at both ends, as a reader's do. Deleting a section keeps the
// comment lines inside it.
EditOutcome ApplyEdit(std::string_view fileBytes, const Edit& edit, std::string& newBytes);

// ApplyEdit on the bytes themselves: only the bytes after the edited line move, and the string
// keeps its room, so a file held in memory takes many edits without being copied whole each time.
EditOutcome ApplyEditInPlace(std::string& bytes, const Edit& edit);

// Whether the edit passes the write rule of write_rule.h.
bool IsAcceptedEdit(const Edit& edit);

// What a null section or key lists: the name of every header with one, copies included, in file
// order; or the key names of the first section of that name (comment lines and lines without "="
// have none). Empty names are left out: in a list of NUL-ended names they would end it.
std::vector<Text> SectionNames(std::string_view fileBytes);
std::vector<Text> KeyNames(std::string_view fileBytes, TextView section);

// The default text as a reader returns it: trailing spaces cut (tabs stay), then one pair of
// quotes removed.
Text DefaultText(TextView text);

}  // namespace NGUtils::IniEngine
