#pragma once
// Files that must survive a crash or a power cut in the middle of a write, and that two running
// instances of the program may change at the same time.
#include <string>

namespace platform {

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

// Reads a whole file. Result 0 on success, else the errno of the failure (ENOENT for a
// missing file, EISDIR for a folder).
int readWholeFile(const std::string& path, std::string& contents);

// Replaces <path> with contents so that a reader sees either the old or the new file, never a
// mix: write "<path>.tmp", fsync it, rename it over <path>, fsync the folder. Call it while
// holding the FileLock of <path>. False when any step failed; the old file then stays.
bool replaceFileDurably(const std::string& path, const std::string& contents);

}  // namespace platform
