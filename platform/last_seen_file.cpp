#include "platform/last_seen_file.h"

#include <climits>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string_view>

namespace platform {
namespace {

constexpr mode_t kReplacedMark = 0;

std::atomic<bool> g_networkForTest{false};
std::atomic<dev_t> g_networkDeviceForTest{0};

// On a network file system a file that a write replaces (or a hand removes) while a copy on the
// same machine holds it open keeps a hidden name (".nfs..."), so a name there tells nothing.
bool onNetworkFileSystem(int fd) {
    struct stat info {};
    if (g_networkForTest && ::fstat(fd, &info) == 0 && info.st_dev == g_networkDeviceForTest) return true;
    struct statfs system {};
    if (::fstatfs(fd, &system) != 0) return false;
    switch (static_cast<unsigned long>(system.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case CIFS_SUPER_MAGIC:
    case SMB2_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

// On a network file system, a version removed while a copy on this machine holds it open: its
// name is the hidden one the client gave it.
bool hiddenOnNetwork(int fd) {
    char name[PATH_MAX];
    const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), name, sizeof name - 1);
    if (length <= 0 || !onNetworkFileSystem(fd)) return false;
    const std::string_view path(name, static_cast<size_t>(length));
    return path.substr(path.rfind('/') + 1).starts_with(".nfs");
}

// The version has a name where another copy may still take its numbers from it: a hidden name
// of a network file system is none.
bool namedElsewhere(int fd, const struct stat& info) { return info.st_nlink > (hiddenOnNetwork(fd) ? 1u : 0u); }

// A version that a write replaced keeps no name; clearing its permissions and setting its
// modification time to the epoch marks it for every copy that still holds it open. Permissions
// alone are no mark: root reads and writes a file of mode 000. One that still has a name (moved
// aside by hand) is left as it is, except on a network file system the one replaced at the file's
// name, and one removed, whose names are hidden ones.
void markReplaced(int fd, bool replacedAtItsName = false) {
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) return;
    if (replacedAtItsName ? info.st_nlink != 0 && !onNetworkFileSystem(fd) : namedElsewhere(fd, info)) return;
    const struct timespec epoch[2] = {{0, UTIME_OMIT}, {0, 0}};
    ::futimens(fd, epoch);
    ::fchmod(fd, kReplacedMark);
}

bool marked(const struct stat& info) {
    return (info.st_mode & 07777) == kReplacedMark && info.st_mtim.tv_sec == 0 && info.st_mtim.tv_nsec == 0;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

LastSeenFile::~LastSeenFile() { forget(); }

void LastSeenFile::forget() {
    if (fd_ >= 0) ::close(fd_);
    for (const int version : carried_) ::close(version);
    for (const int version : aside_) ::close(version);
    fd_ = -1;
    carried_.clear();
    aside_.clear();
}

bool LastSeenFile::keptAside() {
    std::erase_if(aside_, [](int version) {
        const bool wentOn = wentOnFrom(version);
        if (wentOn) ::close(version);
        return wentOn;
    });
    return !aside_.empty();
}

FileLoss LastSeenFile::lossOf(const std::string& name, const struct stat* atName) const {
    if (name_.empty() || name != name_) return FileLoss::None;
    // A file this copy wrote aside, which no copy went on from, was lost with the view it left
    // out of date.
    if (std::any_of(aside_.begin(), aside_.end(), [](int version) { return !wentOnFrom(version); }))
        return FileLoss::Stale;
    // Without the file at hand this copy cannot tell that no other copy wrote after it.
    struct stat seen {};
    if (fd_ < 0 || ::fstat(fd_, &seen) != 0 || marked(seen)) return FileLoss::Stale;
    // A version emptied where it lies is the one seen. Another file emptied in its place came after
    // this copy's look, in place of the version seen, by a hand or a copy that may have taken from
    // it since (one that never held the version seen marks nothing on it). One under another name
    // (moved aside, a second name, behind a link removed) may be another copy's store still.
    if (atName != nullptr) return sameFile(seen, *atName) ? FileLoss::Current : FileLoss::Stale;
    return namedElsewhere(fd_, seen) ? FileLoss::Stale : FileLoss::Current;
}

void LastSeenFile::adopt(std::string contents, int fd, const CarryView& carry) {
    contents_ = carried_.empty() ? std::move(contents) : carry(contents_, contents);
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

FoundView LastSeenFile::found(const std::string& name, std::string contents, int fd, const CarryView& carry) {
    if (name != name_) {
        forget();
        name_ = name;
    }
    // A copy that held a carried version wrote its numbers on: a reset or a number set there
    // after that write stands.
    std::erase_if(carried_, [](int version) {
        struct stat info {};
        const bool written = ::fstat(version, &info) == 0 && marked(info);
        if (written) ::close(version);
        return written;
    });
    // A file this copy wrote aside, or one found after it: the view stays out of date until
    // another copy goes on from that file.
    if (keptAside()) {
        ::close(fd);
        return {carry(contents_, contents), true};
    }
    // The version seen, or a file another copy wrote having seen it: read as it is.
    struct stat seen {}, now {};
    const bool known = fd_ >= 0 && ::fstat(fd_, &seen) == 0 && ::fstat(fd, &now) == 0;
    if (!known || sameFile(seen, now) || marked(seen)) {
        const bool overtaken = known && !sameFile(seen, now);
        adopt(std::move(contents), fd, carry);
        return {contents_, false, overtaken};
    }
    if (namedElsewhere(fd_, seen)) {
        ::close(fd);
        return {carry(contents_, contents), true};
    }
    // Kept open, unmarked, until this copy's write carries its numbers on.
    carried_.push_back(fd_);
    fd_ = fd;
    contents_ = carry(contents_, contents);
    return {contents_};
}

void LastSeenFile::wrote(const std::string& name, std::string contents, int fd, int replaced) {
    if (name == name_) {
        markReplaced(fd_);
        for (const int version : carried_) markReplaced(version);
    }
    markReplaced(replaced, true);
    forget();
    name_ = name;
    contents_ = std::move(contents);
    fd_ = fd;
}

void LastSeenFile::wroteAside(const std::string& name, int fd) {
    if (name != name_) {
        ::close(fd);
        return;
    }
    aside_.push_back(fd);
}

void markWentOnFrom(int version) { markReplaced(version, true); }

bool wentOnFrom(int version) {
    struct stat info {};
    return version >= 0 && ::fstat(version, &info) == 0 && marked(info);
}

void setNetworkFolderForTest(const std::string& folder) {
    struct stat info {};
    const bool network = !folder.empty() && ::stat(folder.c_str(), &info) == 0;
    g_networkDeviceForTest = info.st_dev;
    g_networkForTest = network;
}

}  // namespace platform
