#include "platform/last_seen_file.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

// A file that a write replaced keeps no name; clearing its permissions marks it for every copy
// that still holds it open as the last version it saw. One that still has a name (the store
// moved aside by hand) is left as it is.
namespace {
constexpr mode_t kReplacedMark = 0;

void markReplaced(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_nlink == 0) ::fchmod(fd, kReplacedMark);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A file seen before that is no longer the one found now was replaced by a hand (an editor
// that saves a new file over it) when no copy marked it: marked now, so that the copies still
// holding it know their view is not the last.
bool replacedBy(int previous, int fd) {
    struct stat before {}, now {};
    return fd < 0 || ::fstat(previous, &before) != 0 || ::fstat(fd, &now) != 0 || !sameFile(before, now);
}
}  // namespace

LastSeenFile::~LastSeenFile() {
    if (fd_ >= 0) ::close(fd_);
}

void LastSeenFile::keep(const std::string& name, std::string contents, int fd, bool replacedPrevious) {
    if (fd_ >= 0) {
        if (replacedPrevious || (name == name_ && replacedBy(fd_, fd))) markReplaced(fd_);
        ::close(fd_);
    }
    name_ = name;
    contents_ = std::move(contents);
    fd_ = fd;
}

FileLoss LastSeenFile::lossOf(const std::string& name) const {
    if (name_.empty() || name != name_) return FileLoss::None;
    // Without the file at hand this copy cannot tell that no other copy wrote after it.
    struct stat seen {};
    if (fd_ < 0 || ::fstat(fd_, &seen) != 0 || (seen.st_mode & 07777) == kReplacedMark) return FileLoss::Stale;
    return FileLoss::Current;
}

}  // namespace platform
