#include "platform/durable_file.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <utility>

namespace platform {
namespace {

// How long a FileLock waits for another holder: a read-modify-write takes far less.
constexpr std::chrono::milliseconds kLockPatience{10000};
std::atomic<std::chrono::milliseconds::rep> g_lockPatience{kLockPatience.count()};
std::function<void(CommitStep, const std::string&)> g_commitPause;
std::function<void()> g_readPause;

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new file for the staged contents beside path under a name of its own, exclusively:
// O_EXCL fails on any name that exists, a link (even a dangling one) or a FIFO included, and
// another name is tried. Mode 0666 leaves the umask to decide a new file's permissions.
int createStagingFile(const std::string& path, std::string& staged) {
    static std::atomic<uint64_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t noise = 0;
        if (::getrandom(&noise, sizeof noise, GRND_NONBLOCK) != sizeof noise)
            noise = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        noise ^= counter.fetch_add(1) * 0x9E3779B97F4A7C15u;
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%012llx.tmp", static_cast<unsigned long long>(noise >> 16));
        staged = path + suffix;
        const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// The longest chain of links followed, as the kernel's own limit.
constexpr int kMaxLinks = 40;

}  // namespace

int writtenFile(const std::string& path, std::string& file) {
    file = path;
    if (path.empty()) return ENOENT;
    for (int links = 0;; ++links) {
        // Whatever keeps lstat from looking (a missing folder, no permission) is left for the
        // write itself to meet and report.
        struct stat info {};
        if (::lstat(file.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
        char target[PATH_MAX];
        const ssize_t length = links < kMaxLinks ? ::readlink(file.c_str(), target, sizeof target) : -1;
        if (length < 0 || length >= static_cast<ssize_t>(sizeof target)) {
            const int error = links >= kMaxLinks ? ELOOP : length < 0 ? errno : ENAMETOOLONG;
            file.clear();
            return error;
        }
        const std::string name(target, static_cast<size_t>(length));
        const std::string folder = folderOf(file);
        file = name[0] == '/' ? name : folder == "/" ? "/" + name : folder + "/" + name;
    }
}

FileLock::FileLock(const std::string& path) {
    if (writtenFile(path, m_file) != 0) return;
    // No lock is made beside a folder or a device that a link names.
    struct stat info {};
    if (::stat(m_file.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return;
    // The lock must be a regular file of its own: a link there is not followed (nor a file
    // made at its far end), and a FIFO or a device is neither waited on nor used.
    const std::string lock = m_file + ".lock";
    // Another holder is waited for only so long: one that never lets go must not stop the
    // program for ever.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_lockPatience.load());
    for (;;) {
        if (::lstat(lock.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return;
        constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        m_fd = ::open(lock.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
        // flock needs no write access: a lock file another user made (a copy run as root) that
        // this one may only read locks all the same.
        const bool readOnly = m_fd < 0 && errno == EACCES;
        if (readOnly) m_fd = ::open(lock.c_str(), O_RDONLY | kFlags);
        if (m_fd < 0) {
            m_openError = readOnly && errno == ENOENT ? EACCES : errno;
            return;
        }
        bool locked = ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
        while (locked && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            locked = (errno == EWOULDBLOCK || errno == EINTR) && std::chrono::steady_clock::now() < until;
            // A file system that locks only a descriptor open for writing (NFS emulates flock
            // with fcntl locks) cannot lock one this user may only read.
            if (!locked && readOnly && errno == EBADF) m_openError = EACCES;
            if (locked) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        // A lock file removed (or replaced) while this copy waited on it locks nothing that the
        // next copy sees: the lock is taken again on the file that the name holds now.
        if (locked && held()) return;
        ::close(m_fd);
        m_fd = -1;
        if (!locked || std::chrono::steady_clock::now() >= until) return;
    }
}

std::string lockFileOf(const std::string& path) {
    std::string file;
    return (writtenFile(path, file) == 0 ? file : path) + ".lock";
}

bool FileLock::held() const {
    struct stat opened {}, named {};
    return m_fd >= 0 && ::fstat(m_fd, &opened) == 0 && ::lstat((m_file + ".lock").c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

void setLockPatienceForTest(std::chrono::milliseconds patience) {
    g_lockPatience = (patience.count() > 0 ? patience : kLockPatience).count();
}

FileLock::~FileLock() {
    if (m_fd >= 0) ::close(m_fd);  // closing the descriptor releases the lock
}

int openForReading(const std::string& path, size_t limit, int& fd, struct stat& info) {
    fd = -1;
    // A device is refused before it is opened: opening one can act on it.
    if (::stat(path.c_str(), &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (!S_ISREG(info.st_mode)) return EINVAL;
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if (static_cast<uint64_t>(info.st_size) > limit)
        error = EFBIG;
    if (error != 0) {
        ::close(fd);
        fd = -1;
    }
    return error;
}

int readInto(int fd, std::span<std::byte> buffer, size_t& got) {
    got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return 0;
}

int readRest(int fd, size_t limit, std::string& contents) {
    contents.clear();
    std::byte buffer[65536];
    for (;;) {
        size_t got = 0;
        const int error = readInto(fd, buffer, got);
        if (error != 0 || contents.size() + got > limit) {
            contents.clear();
            return error != 0 ? error : EFBIG;
        }
        contents.append(reinterpret_cast<const char*>(buffer), got);
        if (got < sizeof buffer) return 0;
    }
}

int readOpenedFile(int fd, const struct stat& info, size_t limit, std::string& contents) {
    if (g_readPause) g_readPause();
    int error = readRest(fd, limit, contents);
    if (error == 0 && contents.size() < static_cast<uint64_t>(info.st_size)) error = EIO;
    if (error != 0) contents.clear();
    return error;
}

void setReadPauseForTest(std::function<void()> pause) { g_readPause = std::move(pause); }

FileContents readRegularFile(const std::string& path, size_t limit, int* keptOpen) {
    FileContents file;
    int fd = -1;
    struct stat info {};
    file.error = openForReading(path, limit, fd, info);
    if (file.error != 0) return file;
    file.opened = true;
    file.error = readOpenedFile(fd, info, limit, file.contents);
    if (keptOpen && file.error == 0)
        *keptOpen = fd;
    else
        ::close(fd);
    return file;
}

int readWholeFile(const std::string& path, std::string& contents, size_t limit) {
    FileContents file = readRegularFile(path, limit);
    contents = std::move(file.contents);
    return file.error;
}

DurableWriter::DurableWriter(const std::string& path) {
    openError_ = writtenFile(path, path_);
    if (openError_ != 0) return;
    // Only the kind and the permissions of the file are looked at; it is never opened.
    struct stat target {};
    const bool replacing = ::stat(path_.c_str(), &target) == 0;
    if (!replacing && errno != ENOENT) {
        openError_ = errno;
        return;
    }
    if (replacing && !S_ISREG(target.st_mode)) {
        openError_ = S_ISDIR(target.st_mode) ? EISDIR : EINVAL;
        return;
    }
    // A file with a second name (a hard link) is not replaced: the new file would part the
    // names, and the other would keep the old contents (and give its serial numbers again).
    if (replacing && target.st_nlink > 1) {
        openError_ = EMLINK;
        return;
    }
    fd_ = createStagingFile(path_, staged_);
    if (fd_ < 0) {
        openError_ = errno;
        return;
    }
    if (replacing) {
        // Best effort: a file system without owners or modes keeps its own. The owner goes
        // first, as a change of owner clears the set-id bits.
        const bool otherOwner = target.st_uid != ::geteuid() || target.st_gid != ::getegid();
        if (otherOwner && ::fchown(fd_, target.st_uid, target.st_gid) != 0) {
            // it stays the writer's own
        }
        ::fchmod(fd_, target.st_mode & 07777);
    }
}

DurableWriter::~DurableWriter() {
    if (committed_ >= 0) ::close(committed_);
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(staged_.c_str());
}

bool DurableWriter::writeAt(uint64_t offset, std::span<const std::byte> bytes) {
    if (fd_ < 0) failed_ = true;
    while (!failed_ && !bytes.empty()) {
        const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            break;
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
    }
    return !failed_;
}

void DurableWriter::append(std::string_view bytes) {
    constexpr size_t kFlushAt = 65536;
    pending_.append(bytes);
    if (pending_.size() >= kFlushAt) flush();
}

bool DurableWriter::flush() {
    const bool written = writeAt(appendAt_, std::as_bytes(std::span(pending_)));
    appendAt_ += pending_.size();
    pending_.clear();
    return written;
}

bool DurableWriter::commit(const std::function<bool()>& mayReplace) {
    if (fd_ < 0) return false;
    const bool written = flush() && ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (g_commitPause) g_commitPause(CommitStep::Synced, path_);
    const bool allowed = written && closed && (!mayReplace || mayReplace());
    if (allowed) committed_ = ::open(staged_.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (committed_ >= 0 && g_commitPause) g_commitPause(CommitStep::Renaming, path_);
    if (committed_ < 0 || ::rename(staged_.c_str(), path_.c_str()) != 0) {
        ::unlink(staged_.c_str());
        if (committed_ >= 0) ::close(committed_);
        committed_ = -1;
        failed_ = true;
        return false;
    }
    if (g_commitPause) g_commitPause(CommitStep::Renamed, path_);
    // The rename itself is durable only once the folder's entry is on disk.
    const int folder = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

int DurableWriter::takeCommitted() { return std::exchange(committed_, -1); }

void DurableWriter::giveToFolderOwner() {
    struct stat staged {}, folder {};
    if (fd_ < 0 || ::geteuid() != 0 || ::fstat(fd_, &staged) != 0 || staged.st_uid != 0) return;
    if (::stat(folderOf(path_).c_str(), &folder) != 0 || folder.st_uid == 0) return;
    // The mode goes back after the change of owner, which clears the set-id bits.
    if (::fchown(fd_, folder.st_uid, folder.st_gid) == 0) ::fchmod(fd_, staged.st_mode & 07777);
}

void setCommitPauseForTest(std::function<void(CommitStep, const std::string&)> pause) {
    g_commitPause = std::move(pause);
}

bool replaceFileDurably(const std::string& path, const std::string& contents) {
    DurableWriter writer(path);
    return writer.writeAt(0, std::as_bytes(std::span(contents))) && writer.commit();
}

int replaceLockedFile(const FileLock& lock, const std::string& contents, const std::function<bool()>& readIsLast) {
    DurableWriter writer(lock.file());
    writer.giveToFolderOwner();
    if (!writer.writeAt(0, std::as_bytes(std::span(contents))) || !writer.commit([&] { return lock.held(); }))
        return -1;
    const int placed = writer.takeCommitted();
    if (lock.held()) return placed;
    // Gone once the new file was in place, or in the instant before the rename: a copy that
    // locked a new lock file and read the old version has written by the time the lock is this
    // copy's again, and its write shows on that version.
    const FileLock again(lock.file());
    if (again.locked() && readIsLast()) return placed;
    ::close(placed);
    return -1;
}

}  // namespace platform
