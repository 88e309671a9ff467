#pragma once
// Files that must survive a crash or a power cut in the middle of a write, and that two running
// instances of the program may change at the same time.
#include <cstddef>
#include <string>

#include <sys/stat.h>

namespace platform {

// Settings files are small; a larger one is damaged (or not ours) and is never read whole.
constexpr size_t kMaxSettingsFileBytes = size_t{4} << 20;

// Holds an exclusive advisory lock (flock) on "<path>.lock" for its lifetime, so that a
// read-modify-write of <path> by another thread or process waits for this one.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Opens a file for reading without blocking, so a FIFO or a device in its place cannot hang
// the caller. Result 0 with fd and info set, else the errno of the failure: ENOENT for a
// missing file, EISDIR for a folder, EINVAL for anything else that is not a regular file,
// EFBIG for a file above limit bytes. The caller closes fd.
int openForReading(const std::string& path, size_t limit, int& fd, struct stat& info);
// Reads what is left of an open file; EFBIG once it grows beyond limit bytes.
int readRest(int fd, size_t limit, std::string& contents);
// A whole regular file read with the two above. opened is false when the open refused it
// (error as openForReading gives it); a read error, or an end before the size the file had when
// it was opened (EIO: it was cut short meanwhile), gives its error with opened true. contents
// stay empty on a failure.
struct FileContents {
    int error = 0;
    bool opened = false;
    std::string contents;
};
FileContents readRegularFile(const std::string& path, size_t limit);
// The same, for callers that need only the error.
int readWholeFile(const std::string& path, std::string& contents, size_t limit = kMaxSettingsFileBytes);

// Replaces <path> with contents so that a reader sees either the old or the new file, never a
// mix: write "<path>.tmp", fsync it, rename it over <path>, fsync the folder. Call it while
// holding the FileLock of <path>. False when any step failed; the old file then stays.
bool replaceFileDurably(const std::string& path, const std::string& contents);

}  // namespace platform
