#include "path_walk.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

namespace PosixFiles {

namespace {

constexpr int kMaxLinkHops = 40;

std::vector<std::string> SplitPath(const std::string& text) {
    std::vector<std::string> names;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find('/', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string name = text.substr(begin, end - begin);
        if (!name.empty() && name != ".") {
            names.push_back(std::move(name));
        }
        begin = end + 1;
    }
    return names;
}

unsigned Self() {
    return static_cast<unsigned>(::geteuid());
}

// A name that is one of several of its file or link counts as its owner's only where the owner
// could have made it: as this process's own (root aside, which owns what it does not mean to),
// or in a folder of that owner. Anyone can add a name of a file they cannot write to their own
// folder where the system does not protect hard links.
int CheckSharedName(IFileSystem& fs, int holder, const FileStatus& entry) {
    if (entry.links <= 1 || (entry.owner == Self() && Self() != 0)) {
        return 0;
    }
    FileStatus folder;
    if (const int error = fs.Stat(holder, folder); error != 0) {
        return error;
    }
    return folder.owner == entry.owner ? 0 : EACCES;
}

// A link leads where its owner could have written anyway, or was set up by this very user. Root
// could write anywhere, so its links, such as the ones an administrator makes for home folders,
// lead anywhere (a second name of a link is looked at before, by CheckSharedName).
int CheckLinkOwner(IFileSystem& fs, const FileStatus& link, LocatedFile& target) {
    if (link.owner == Self() || link.owner == 0) {
        return 0;
    }
    FileStatus reached = target.status;
    if (!target.file.IsOpen()) {
        // A link to a file yet to be made leads to the folder it would be made in.
        if (const int error = fs.Stat(target.folder.Get(), reached); error != 0) {
            return error;
        }
    }
    return link.owner == reached.owner ? 0 : EACCES;
}

// Opens a regular file for reading or writing where it was found; a device or FIFO is never
// opened for more than a look, since opening some of them does something. `status` becomes the
// opened file's.
int OpenFound(IFileSystem& fs, int folder, const std::string& name, OpenKind kind,
              CUniqueFd& entry, FileStatus& status) {
    if (kind == OpenKind::Entry || !status.regular) {
        return 0;
    }
    CUniqueFd file(fs);
    FileStatus now;
    int error = fs.OpenAt(folder, name, kind, file.Out());
    if (error == 0 && (error = fs.Stat(file.Get(), now)) == 0 &&
        (now.device != status.device || now.inode != status.inode)) {
        error = EAGAIN;
    }
    if (error == 0) {
        entry = std::move(file);
        status = now;
    }
    return error;
}

// Where a walk stands: the folder it is in, and how many links it followed.
struct WalkPlace {
    CUniqueFd folder;
    std::string folderPath;
    int& hops;
};

int Walk(IFileSystem& fs, WalkPlace place, const std::string& text, OpenKind last,
         LocatedFile& out);

// The walk ends at `name`: what is there (nothing, when the name is free) in the walk's folder.
void Arrive(WalkPlace& place, const std::string& name, CUniqueFd found, const FileStatus& status,
            LocatedFile& out) {
    out.folder = std::move(place.folder);
    out.folderPath = std::move(place.folderPath);
    out.name = name;
    out.file = std::move(found);
    out.status = status;
}

// A link is followed by walking its own text from the folder that holds it, so a name swapped
// for a link meanwhile is never followed unchecked.
int FollowLink(IFileSystem& fs, WalkPlace& place, const CUniqueFd& entry, const FileStatus& link,
               bool final, OpenKind last, LocatedFile& out, bool& arrived) {
    std::string linkText;
    if (++place.hops > kMaxLinkHops) {
        return ELOOP;
    }
    if (const int error = fs.ReadLink(entry.Get(), linkText); error != 0) {
        return error;
    }
    if (linkText.empty()) {
        return ENOENT;
    }
    // Looked at while the holding folder is still at hand.
    if (const int error = CheckSharedName(fs, place.folder.Get(), link); error != 0) {
        return error;
    }
    LocatedFile target(fs);
    int error = Walk(fs, WalkPlace{std::move(place.folder), place.folderPath, place.hops},
                     linkText, final ? last : OpenKind::Entry, target);
    if (error != 0 || (error = CheckLinkOwner(fs, link, target)) != 0) {
        return error;
    }
    if (final) {
        out = std::move(target);
        arrived = true;
        return 0;
    }
    if (!target.file.IsOpen()) {
        return ENOENT;
    }
    if (!target.status.folder) {
        return ENOTDIR;
    }
    place.folder = std::move(target.file);
    place.folderPath = JoinPath(target.folderPath, target.name);
    return 0;
}

// One name of the walk: into a folder, through a link, or, for the last name, to what is there.
int WalkName(IFileSystem& fs, WalkPlace& place, const std::string& name, bool final,
             OpenKind last, LocatedFile& out, bool& arrived) {
    CUniqueFd entry(fs);
    FileStatus status;
    int error = 0;
    // A regular file, the usual last name, is opened after a look at its name alone; any other
    // entry is opened as a place first and looked at through that.
    if (final && last != OpenKind::Entry &&
        ((error = fs.StatAt(place.folder.Get(), name, status)) != 0 || status.regular)) {
        if (error == 0) {
            error = OpenFound(fs, place.folder.Get(), name, last, entry, status);
        }
        if (error != 0 && error != ENOENT) {
            return error;
        }
        arrived = true;
        Arrive(place, name, std::move(entry), status, out);
        return 0;
    }
    error = fs.OpenAt(place.folder.Get(), name, OpenKind::Entry, entry.Out());
    if (final && error == ENOENT) {
        arrived = true;
        Arrive(place, name, CUniqueFd(fs), FileStatus{}, out);
        return 0;
    }
    if (error != 0 || (error = fs.Stat(entry.Get(), status)) != 0) {
        return error;
    }
    if (status.link) {
        return FollowLink(fs, place, entry, status, final, last, out, arrived);
    }
    if (final) {
        if ((error = OpenFound(fs, place.folder.Get(), name, last, entry, status)) == 0) {
            arrived = true;
            Arrive(place, name, std::move(entry), status, out);
        }
        return error;
    }
    if (!status.folder) {
        return ENOTDIR;
    }
    place.folder = std::move(entry);
    place.folderPath = JoinPath(place.folderPath, name);
    return 0;
}

// Walks `text` from the place's folder one name at a time; each name is opened without following
// it. The last name is opened as `last` when it is a regular file.
int Walk(IFileSystem& fs, WalkPlace place, const std::string& text, OpenKind last,
         LocatedFile& out) {
    const std::vector<std::string> names = SplitPath(text);
    if (names.empty()) {
        return EISDIR;
    }
    // Without a folder to start from, a relative path starts in the current one.
    const bool absolute = text.front() == '/';
    if (absolute || !place.folder.IsOpen()) {
        if (const int error = fs.OpenAt(kCurrentFolder, absolute ? "/" : ".", OpenKind::Entry,
                                        place.folder.Out());
            error != 0) {
            return error;
        }
        place.folderPath.assign(absolute ? 1 : 0, '/');
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        bool arrived = false;
        if (const int error = WalkName(fs, place, names[i], i + 1 == names.size(), last, out,
                                       arrived);
            error != 0 || arrived) {
            return error;
        }
    }
    return EISDIR;
}

}  // namespace

int Locate(IFileSystem& fs, const std::string& path, OpenKind kind, LocatedFile& out) {
    // The walk could reach further than the system opens by name; what it does not, stays so.
    if (path.size() >= PATH_MAX) {
        return ENAMETOOLONG;
    }
    int hops = 0;
    // Most folders are reached without a link: then one call opens the folder, and only the last
    // name, which may be a link, is walked. Any link on the way means the walk from the start.
    std::string folderPath;
    std::string name;
    if (SplitFolder(path, folderPath, name)) {
        CUniqueFd folder(fs);
        if (name != "." && name != ".." &&
            fs.OpenFolderWithoutLinks(folderPath, folder.Out()) == 0) {
            return Walk(fs, WalkPlace{std::move(folder), folderPath, hops}, name, kind, out);
        }
    }
    return Walk(fs, WalkPlace{CUniqueFd(fs), {}, hops}, path, kind, out);
}

int CheckNamesOwner(IFileSystem& fs, const LocatedFile& at) {
    return at.file.IsOpen() ? CheckSharedName(fs, at.folder.Get(), at.status) : 0;
}

bool SplitFolder(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 >= path.size()) {
        return false;
    }
    name = path.substr(slash + 1);
    folder = slash == 0 ? "/" : path.substr(0, slash);
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace PosixFiles
