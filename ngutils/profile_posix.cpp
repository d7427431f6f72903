// The profile layer on POSIX: our own INI engine, with the read semantics of the Windows
// functions and edits that keep every byte they do not have to change.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "ini_document.h"
#include "ini_store_posix.h"
#include "memory_files_posix.h"
#include "profile.h"
#include "text_codec.h"

namespace NGUtils {

namespace {

using IniEngine::Text;

// A wchar_t is a code point here.
Text FromWide(const wchar_t* text) {
    Text out;
    for (; *text != 0; ++text) {
        out += static_cast<char32_t>(*text);
    }
    return out;
}

Text FromUtf8(const char* text) {
    return TextCodec::DecodeUtf8(text);
}

// The value, or the default as a reader returns it; of a long value no more than a buffer of
// `size` holds is decoded. `memory` is the file's bytes when it is held in memory.
Text LookUp(const std::string& path, const std::string* memory, const Text& section,
            const Text& key, const std::optional<Text>& defaultValue, std::uint32_t size) {
    auto value = memory != nullptr ? IniEngine::FindValue(*memory, section, key, size - 1)
                                   : IniEngine::ReadProfileValue(PosixFiles::RealFileSystem(),
                                                                 path, section, key, size - 1);
    if (value) {
        return *value;
    }
    return defaultValue ? IniEngine::DefaultText(*defaultValue) : Text();
}

template <typename Char, typename Source>
std::uint32_t CopyOut(const Source& text, Char* buffer, std::uint32_t size) {
    const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    for (std::size_t i = 0; i < count; ++i) {
        buffer[i] = static_cast<Char>(text[i]);
    }
    buffer[count] = 0;
    return static_cast<std::uint32_t>(count);
}

// What a null section or key asks for: the section names, or the key names of `section`, each
// followed by NUL. `memory` is the file's bytes when it is held in memory.
Text NameList(const std::string& path, const std::string* memory,
              const std::optional<Text>& section) {
    const IniEngine::TextView name =
        section ? IniEngine::TextView(*section) : IniEngine::TextView();
    const std::vector<Text> names =
        memory == nullptr ? IniEngine::ReadProfileNames(PosixFiles::RealFileSystem(), path,
                                                        section ? &name : nullptr)
        : section         ? IniEngine::KeyNames(*memory, name)
                          : IniEngine::SectionNames(*memory);
    Text list;
    for (const Text& each : names) {
        list += each;
        list += U'\0';
    }
    return list;
}

// A list ends in a second NUL. One that does not fit is cut to size - 2 characters, which may
// split a name, and still ends in two NULs; the result is then size - 2.
template <typename Char, typename Source>
std::uint32_t CopyList(const Source& list, Char* buffer, std::uint32_t size) {
    if (list.size() < size) {
        CopyOut(list, buffer, size);
        return static_cast<std::uint32_t>(list.size());
    }
    if (size < 2) {
        buffer[0] = 0;
        return 0;
    }
    CopyOut(list, buffer, size - 1);
    buffer[size - 1] = 0;
    return size - 2;
}

// An edit of a file held in memory: the engine's rules of editing, without the file's.
bool EditInMemory(std::string& bytes, const IniEngine::Edit& edit) {
    return IniEngine::ApplyEditInPlace(bytes, edit) != IniEngine::EditOutcome::Refused;
}

// A null key edits the whole section; a null value removes the key. `memory` is the file's
// bytes when it is held in memory.
template <typename Char, typename Convert>
int Write(const std::string& path, std::string* memory, const Char* section, const Char* key,
          const Char* value, Convert convert) {
    IniEngine::Edit edit{convert(section), std::nullopt, std::nullopt};
    if (key != nullptr) {
        edit.key = convert(key);
        if (value != nullptr) {
            edit.value = convert(value);
        }
    }
    if (memory != nullptr) {
        return EditInMemory(*memory, edit) ? 1 : 0;
    }
    return IniEngine::WriteProfileEdit(PosixFiles::RealFileSystem(), path, edit) ? 1 : 0;
}

}  // namespace

std::uint32_t ProfileReadW(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue,
                           wchar_t* buffer, std::uint32_t size, const wchar_t* file) noexcept {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    buffer[0] = 0;
    try {
        // A memory file's name has no narrow form: it reaches no file on disk.
        const std::string path = file != nullptr ? ProfileNarrowPath(file) : std::string();
        const std::string* memory = file != nullptr ? FindMemoryFile(file) : nullptr;
        if (section == nullptr || key == nullptr) {
            const std::optional<Text> listed =
                section != nullptr ? std::optional(FromWide(section)) : std::nullopt;
            return CopyList(NameList(path, memory, listed), buffer, size);
        }
        std::optional<Text> fallback;
        if (defaultValue != nullptr) {
            fallback = FromWide(defaultValue);
        }
        return CopyOut(LookUp(path, memory, FromWide(section), FromWide(key), fallback, size),
                       buffer, size);
    } catch (...) {
        // Out of memory: what a reader of a missing file gets with an empty default.
        buffer[0] = 0;
        return 0;
    }
}

// The narrow twin of ProfileReadW, on purpose line for line alike: the same checks and the same
// fallback, over UTF-8 instead of UTF-16.
std::uint32_t ProfileReadA(const char* section, const char* key, const char* defaultValue,
                           char* buffer, std::uint32_t size, const char* file) noexcept {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    buffer[0] = 0;
    try {
        const std::string path = file != nullptr ? std::string(file) : std::string();
        if (section == nullptr || key == nullptr) {
            return CopyList(
                TextCodec::EncodeUtf8(NameList(
                    path, nullptr, section != nullptr ? std::optional(FromUtf8(section)) : std::nullopt)),
                buffer, size);
        }
        std::optional<Text> fallback;
        if (defaultValue != nullptr) {
            fallback = FromUtf8(defaultValue);
        }
        // The cut is in bytes and may split a character: a shorter cut would look whole. Each
        // character takes at least one byte, so size - 1 characters fill the buffer.
        const std::string value = TextCodec::EncodeUtf8(
            LookUp(path, nullptr, FromUtf8(section), FromUtf8(key), fallback, size));
        return CopyOut(value, buffer, size);
    } catch (...) {
        // Out of memory: what a reader of a missing file gets with an empty default.
        buffer[0] = 0;
        return 0;
    }
}

int ProfileWriteW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                  const wchar_t* file) noexcept {
    if (section == nullptr || file == nullptr) {
        return 0;
    }
    try {
        return Write(ProfileNarrowPath(file), FindMemoryFile(file), section, key, value,
                     FromWide);
    } catch (...) {
        // Out of memory: a failed write, which every caller handles.
        return 0;
    }
}

int ProfileWriteA(const char* section, const char* key, const char* value,
                  const char* file) noexcept {
    if (section == nullptr || file == nullptr) {
        return 0;
    }
    try {
        return Write(file, nullptr, section, key, value, FromUtf8);
    } catch (...) {
        // Out of memory: a failed write, which every caller handles.
        return 0;
    }
}

std::string ProfileNarrowPath(const std::wstring& path) {
    std::string bytes;
    // A name with NUL or a lone surrogate other than an escaped byte names no file; any other
    // name would be a different file.
    if (!TextCodec::FileNameFromWide(path, bytes)) {
        return {};
    }
    return bytes;
}

}  // namespace NGUtils
