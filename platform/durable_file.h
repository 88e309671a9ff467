#pragma once
// Files that must survive a crash or a power cut in the middle of a write, and that two running
// instances of the program may change at the same time; files read or written at an operator's
// word, which may name a FIFO, a device or a file far too large.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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
// the caller; anything but a regular file is refused before it is opened. Result 0 with fd
// and info set, else the errno of the failure: ENOENT for a missing file, EISDIR for a folder,
// EINVAL for anything else that is not a regular file, EFBIG for a file above limit bytes
// (info then holds its size). The caller closes fd.
int openForReading(const std::string& path, size_t limit, int& fd, struct stat& info);
// Reads what is left of an open file; EFBIG once it grows beyond limit bytes.
int readRest(int fd, size_t limit, std::string& contents);
// Reads from an open file until buffer is full or the file ends; got is what was read.
int readInto(int fd, std::span<std::byte> buffer, size_t& got);
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

// Writes a new version of <path> piece by piece so that a reader sees either the old or the
// complete new file, never a mix: the pieces go to "<path>.tmp", and commit() fsyncs it, renames
// it over <path> and fsyncs the folder. Without a successful commit the temporary file is
// removed when the writer goes, and <path> stays as it was. Two writers of one path need the
// FileLock of <path>.
class DurableWriter {
public:
    explicit DurableWriter(const std::string& path);
    ~DurableWriter();
    DurableWriter(const DurableWriter&) = delete;
    DurableWriter& operator=(const DurableWriter&) = delete;
    // Writes bytes at offset; a gap before them reads as zeros. False once any write failed.
    bool writeAt(uint64_t offset, std::span<const std::byte> bytes);
    bool commit();

private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    bool failed_ = false;
};

// Replaces <path> with contents through a DurableWriter. Call it while holding the FileLock of
// <path>. False when any step failed; the old file then stays.
bool replaceFileDurably(const std::string& path, const std::string& contents);

// A file written in place for the operator to open next (a listing, a dump, the exported log).
// It opens without blocking, so a FIFO without a reader is an error instead of a hang, and it
// checks every write and the close: a full disk is a failure, never a short file taken as done.
class FileWriter {
public:
    // Creates or truncates path.
    explicit FileWriter(const std::string& path);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool opened() const { return m_fd >= 0; }
    void write(std::string_view bytes);
    // Writes what is buffered and closes the file. False when any write or the close failed;
    // a regular file left short is then removed.
    bool finish();

private:
    void flush();

    std::string m_path;
    int m_fd = -1;
    bool m_regular = false;
    bool m_failed = false;
    std::string m_buffer;
};

}  // namespace platform
