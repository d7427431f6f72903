// The profile layer: the four initialization-file operations the INI library is built on.
// On Windows they are the system's profile functions; elsewhere they are our own engine with
// the same read semantics.
//
// Contract relied on by the callers:
//  - ProfileReadW/A copy the value of `key` in `section` of `file` into `buffer`, or
//    `defaultValue` when the file, section or key is missing; at most size - 1 characters,
//    always terminated. The result is the number of characters copied without the terminator;
//    a value cut to fit gives exactly size - 1. A null section lists the section names, a null
//    key the key names of `section`: each followed by NUL, the list by a second NUL.
//  - ProfileWriteW/A make `key` in `section` hold `value`, creating file, section and key as
//    needed. A null value removes the key; a null key (with a null value) removes the whole
//    section. Non-zero means success.
//  - None of the four throws: like the system's functions, they report every failure, out of
//    memory included, by their result.
#pragma once

#include <cstdint>
#include <string>

namespace NGUtils {

std::uint32_t ProfileReadW(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue,
                           wchar_t* buffer, std::uint32_t size, const wchar_t* file) noexcept;
std::uint32_t ProfileReadA(const char* section, const char* key, const char* defaultValue,
                           char* buffer, std::uint32_t size, const char* file) noexcept;
int ProfileWriteW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                  const wchar_t* file) noexcept;
int ProfileWriteA(const char* section, const char* key, const char* value,
                  const char* file) noexcept;

// The 8-bit form of a file name that ProfileReadA/ProfileWriteA understand: the ANSI code page
// on Windows, UTF-8 elsewhere. Empty when the name cannot be represented.
std::string ProfileNarrowPath(const std::wstring& path);

}  // namespace NGUtils
