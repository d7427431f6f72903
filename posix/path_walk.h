// The path walk of the durable-file layer: a path is walked one name at a time from a folder
// descriptor, never following a link by itself, and a link is followed only by the rule of
// durable_file.h ("never across owners"). What the walk reaches is held open, so every later
// step works relative to it and a name swapped meanwhile is never followed.
#pragma once

#include <string>

#include "file_system.h"
#include "unique_fd.h"

namespace PosixFiles {

// The file a path names after its links: the folder that holds it, its name there, and the file
// itself, opened, unless it does not exist yet.
struct LocatedFile {
    explicit LocatedFile(IFileSystem& fs) : folder(fs), file(fs) {}

    CUniqueFd folder;
    std::string folderPath;  // the folder as a path without links; empty for the current one
    std::string name;
    CUniqueFd file;
    FileStatus status;
};

// Finds what `path` names. The last name is opened as `kind` when it is a regular file, and
// only looked at otherwise. 0 or an errno value; ENOENT when a folder on the way is missing,
// EACCES when a link breaks the owner rule.
int Locate(IFileSystem& fs, const std::string& path, OpenKind kind, LocatedFile& out);

// Whether the located file may be written by the owner rule for files of more than one name:
// 0 or EACCES.
int CheckNamesOwner(IFileSystem& fs, const LocatedFile& at);

// The folder part and the last name of a path; false when the path ends in a slash or has no
// folder part. "/x" has the folder "/".
bool SplitFolder(const std::string& path, std::string& folder, std::string& name);

std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace PosixFiles
