#include "platform/durable_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

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
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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

int readRest(int fd, size_t limit, std::string& contents) {
    contents.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            contents.clear();
            return errno;
        }
        if (n == 0) return 0;
        if (contents.size() + static_cast<size_t>(n) > limit) {
            contents.clear();
            return EFBIG;
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
}

int readWholeFile(const std::string& path, std::string& contents, size_t limit) {
    contents.clear();
    int fd = -1;
    struct stat info {};
    int error = openForReading(path, limit, fd, info);
    if (error != 0) return error;
    error = readRest(fd, limit, contents);
    ::close(fd);
    return error;
}

bool replaceFileDurably(const std::string& path, const std::string& contents) {
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool written = writeAll(fd, contents) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is durable only once the folder's entry is on disk.
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
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
