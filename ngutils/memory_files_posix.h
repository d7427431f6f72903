// Files held in this process's memory, which the profile functions read and write as they read
// and write files on disk. The migration edits its working copy of a settings file here: its
// hundreds of edits then cost no I/O at all, and the settings file takes the result in one
// durable write (posix/durable_file.h). The profile functions of Windows keep files in memory between calls
// in the same way.
//
// A memory file's name starts with a lone surrogate, which no file name turns into: the profile
// layer can never take a file on disk for a memory file or the other way round, and the name of
// a memory file that is gone names nothing at all (reads find nothing, writes fail).
//
// One thread, like the rest of the profile layer: the files are this process's alone and go with it.
#pragma once

#include <string>
#include <string_view>

namespace NGUtils {

// A new memory file holding `bytes`; its name.
std::wstring CreateMemoryFile(std::string bytes);

// The bytes of the memory file `name`, to read or change; null when there is none.
std::string* FindMemoryFile(std::wstring_view name) noexcept;

void RemoveMemoryFile(std::wstring_view name) noexcept;

}  // namespace NGUtils
