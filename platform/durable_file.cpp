#include "platform/durable_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace platform {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

FileLock::FileLock(const std::string& path) {
    m_fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) return;
    int rc;
    do {
        rc = ::flock(m_fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
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

FileContents readRegularFile(const std::string& path, size_t limit) {
    FileContents file;
    int fd = -1;
    struct stat info {};
    file.error = openForReading(path, limit, fd, info);
    if (file.error != 0) return file;
    file.opened = true;
    file.error = readRest(fd, limit, file.contents);
    ::close(fd);
    if (file.error == 0 && file.contents.size() < static_cast<uint64_t>(info.st_size)) file.error = EIO;
    if (file.error != 0) file.contents.clear();
    return file;
}

int readWholeFile(const std::string& path, std::string& contents, size_t limit) {
    FileContents file = readRegularFile(path, limit);
    contents = std::move(file.contents);
    return file.error;
}

DurableWriter::DurableWriter(const std::string& path) : path_(path), temp_(path + ".tmp") {
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    failed_ = fd_ < 0;
}

DurableWriter::~DurableWriter() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temp_.c_str());
}

bool DurableWriter::writeAt(uint64_t offset, std::span<const std::byte> bytes) {
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

bool DurableWriter::commit() {
    if (failed_) return false;
    const bool synced = ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed || ::rename(temp_.c_str(), path_.c_str()) != 0) {
        ::unlink(temp_.c_str());
        failed_ = true;
        return false;
    }
    // The rename itself is durable only once the folder's entry is on disk.
    const int folder = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

bool replaceFileDurably(const std::string& path, const std::string& contents) {
    DurableWriter writer(path);
    return writer.writeAt(0, std::as_bytes(std::span(contents))) && writer.commit();
}

FileWriter::FileWriter(const std::string& path) : m_path(path) {
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    struct stat info {};
    m_regular = m_fd >= 0 && ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
}

FileWriter::~FileWriter() {
    if (m_fd >= 0) ::close(m_fd);
}

void FileWriter::write(std::string_view bytes) {
    constexpr size_t kFlushAt = 65536;
    m_buffer.append(bytes);
    if (m_buffer.size() >= kFlushAt) flush();
}

void FileWriter::flush() {
    if (!m_failed && !writeAll(m_fd, m_buffer)) m_failed = true;
    m_buffer.clear();
}

bool FileWriter::finish() {
    if (m_fd < 0) return false;
    flush();
    if (::close(m_fd) != 0) m_failed = true;
    m_fd = -1;
    if (m_failed && m_regular) ::unlink(m_path.c_str());
    return !m_failed;
}

}  // namespace platform
