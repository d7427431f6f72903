// The INI engine: our own profile functions for POSIX. The document (ini_document.h) reads and
// edits bytes; this store finds values in what the durable-file layer read and hands edits to it.
//
// What it guarantees:
//  - Windows read semantics. Every call reads the file afresh. Blanks in the file are space, tab
//    and vertical tab; names in the file lose them, names in a call lose their spaces only (a
//    tab there is part of the name). Names match without regard to ASCII case; the first matching
//    section and, in it, the first matching key win; a value loses its blanks and one pair of
//    matching quotes; lines above the first header belong to no section. A header's name ends at
//    the first "]", or with its line when it has none; a line starting with ";" after blanks is a
//    comment. A null section lists the section names, a null key the key names, NUL-separated.
//    The default loses its trailing spaces. A UTF-16 LE byte order mark makes a file UTF-16;
//    every other file is UTF-8 text, a UTF-8 mark (text before the first line to Windows, so a
//    header there is not found) and a UTF-16 BE mark (which Windows does not understand either)
//    included.
//  - Lossless edits. Only the one line a write concerns is rewritten, inserted or removed (a
//    section deletion removes its header and every line up to the next header but the comment
//    lines, as on Windows). Every other byte stays, in the file's own encoding and line-break
//    style, comments, blank lines, undecodable bytes and an odd last byte of a UTF-16 file
//    included. A value a reader would trim or unquote is written in quotes, so it reads back as
//    written; text that would add lines, sections or keys of its own, and names a reader could not
//    find again, are refused (write_rule.h).
//  - The file side is the durable-file layer's (posix/durable_file.h): crash-safe replacement
//    that keeps the file the same in all but its bytes, safe paths, other writers' changes kept.
//
// What it does not promise:
//  - A file without a UTF-16 LE byte order mark is UTF-8, never a code page: bytes that are no
//    UTF-8 read as U+FFFD (and stay as they are in the file).
//  - Windows' own faults are not copied: a value of 65,536 characters or more comes back whole,
//    where Windows cuts it at a 16-bit boundary (one of exactly 65,536 reads as empty).
//
// Errors: the profile layer catches at its entry, so allocation failure is passed on here, as by
// the document below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "durable_file.h"
#include "ini_document.h"

namespace NGUtils::IniEngine {

// The value as a reader sees it in the file now, at most `limit` characters of it; nothing when the
// file, section or key is missing.
std::optional<Text> ReadProfileValue(PosixFiles::IFileSystem& fs, const std::string& path,
                                     TextView section, TextView key,
                                     std::size_t limit = std::numeric_limits<std::size_t>::max());

// The names a null key (`section` given) or a null section (`section` null) lists, as the document
// finds them in the file now; none when the file or section is missing.
std::vector<Text> ReadProfileNames(PosixFiles::IFileSystem& fs, const std::string& path,
                                   const TextView* section);

// Applies the edit to the file. True when the file holds the result afterwards: also when nothing
// had to change. Deleting from a file that does not exist leaves an empty file, as on Windows.
// False leaves the file as it was.
bool WriteProfileEdit(PosixFiles::IFileSystem& fs, const std::string& path, const Edit& edit);

}  // namespace NGUtils::IniEngine
