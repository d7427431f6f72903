#include "ini_store_posix.h"

namespace NGUtils::IniEngine {

namespace {

// The file's bytes as the durable-file layer reads them; false when there are none to read.
bool Load(PosixFiles::IFileSystem& fs, const std::string& path, std::string& bytes) {
    return !path.empty() && PosixFiles::ReadWhole(fs, path, bytes) == PosixFiles::Result::Done;
}

}  // namespace

std::optional<Text> ReadProfileValue(PosixFiles::IFileSystem& fs, const std::string& path,
                                     TextView section, TextView key, std::size_t limit) {
    std::string bytes;
    if (!Load(fs, path, bytes)) {
        return std::nullopt;
    }
    return FindValue(bytes, section, key, limit);
}

std::vector<Text> ReadProfileNames(PosixFiles::IFileSystem& fs, const std::string& path,
                                   const TextView* section) {
    std::string bytes;
    if (!Load(fs, path, bytes)) {
        return {};
    }
    return section != nullptr ? KeyNames(bytes, *section) : SectionNames(bytes);
}

bool WriteProfileEdit(PosixFiles::IFileSystem& fs, const std::string& path, const Edit& edit) {
    if (!IsAcceptedEdit(edit)) {
        return false;
    }
    const auto apply = [&edit](const PosixFiles::FileSeen& seen, const std::string& oldBytes,
                               std::string& newBytes) {
        switch (ApplyEdit(oldBytes, edit, newBytes)) {
            case EditOutcome::Refused:
                return PosixFiles::Change::Refuse;
            case EditOutcome::Unchanged:
                // A deletion finds nothing to delete in a missing file, and leaves it empty.
                if (seen.exists) {
                    return PosixFiles::Change::Keep;
                }
                newBytes.clear();
                return PosixFiles::Change::Write;
            case EditOutcome::Changed:
                break;
        }
        return PosixFiles::Change::Write;
    };
    return PosixFiles::EditFile(fs, path, apply) == PosixFiles::Result::Done;
}

}  // namespace NGUtils::IniEngine
