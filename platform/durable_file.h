#pragma once
// Files that must survive a crash or a power cut in the middle of a write, and that two running
// instances of the program may change at the same time; files read or written at an operator's
// word, which may name a FIFO, a device or a file far too large. Every file the program writes
// (settings, the INI file, converted images, parameter files, dumps, the exported log) is
// replaced whole through a DurableWriter.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <sys/stat.h>

namespace platform {

// Settings files are small; a larger one is damaged (or not ours) and is never read whole.
constexpr size_t kMaxSettingsFileBytes = size_t{4} << 20;

// The file that a write of <path> changes: <path> itself, or, when a symbolic link stands
// there, the file it names, through a chain of links (a relative target counts from its
// link's folder); links among the folders are left to the kernel. A link that names nothing
// yet gives the file it would name. 0, else ELOOP for a chain of more than 40 links, ENOENT
// for an empty path, or the errno of a link that cannot be read; file is then empty.
int writtenFile(const std::string& path, std::string& file);

// Holds an exclusive advisory lock (flock) on "<file>.lock" for its lifetime, where <file> is
// writtenFile of <path>, so that a read-modify-write of the file by another thread or process,
// under this name or another, waits for this one. It waits ten seconds at most, and takes only
// a regular file of its own: a link, a FIFO or a device at "<file>.lock", or a <file> that
// exists and is not a regular file, leaves it unlocked. The lock needs no write access: a lock
// file that this user may only read (one that a copy run as root made) is locked read-only.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return m_fd >= 0; }
    // The errno of a lock file that could not be opened at all (nor made), or that a file
    // system would not lock on the descriptor its mode allows; 0 otherwise, also while another
    // holder keeps the lock or when no lock file is taken (see above).
    int openError() const { return m_openError; }
    // True while "<file>.lock" still names the file locked: one removed by hand meanwhile lets
    // another copy lock a new file at once, so a write must not go on from what it read.
    bool held() const;
    // The file the lock guards: read and write this one while it is held.
    const std::string& file() const { return m_file; }

private:
    int m_fd = -1;
    int m_openError = 0;
    std::string m_file;
};
// The lock file of <path> as FileLock takes it ("<file>.lock"), to name it in a message; <path>
// with ".lock" when writtenFile cannot tell the file.
std::string lockFileOf(const std::string& path);
// How long a FileLock waits for another holder; zero restores the default.
void setLockPatienceForTest(std::chrono::milliseconds patience);

// Opens a file for reading without blocking, so a FIFO or a device in its place cannot hang
// the caller; anything but a regular file is refused before it is opened. Result 0 with fd
// and info set, else the errno of the failure: ENOENT for a missing file, EISDIR for a folder,
// EINVAL for anything else that is not a regular file, EFBIG for a file above limit bytes
// (info then holds its size). The caller closes fd.
int openForReading(const std::string& path, size_t limit, int& fd, struct stat& info);
// Reads what is left of an open file; EFBIG once it grows beyond limit bytes.
int readRest(int fd, size_t limit, std::string& contents);
// Reads the whole of a file that openForReading opened (info as it gave it) with readRest; EIO,
// and contents empty, when it ends before the size it had when it was opened: it was cut short
// meanwhile, and what was read is not the file.
int readOpenedFile(int fd, const struct stat& info, size_t limit, std::string& contents);
// Runs pause once readOpenedFile has the file open and before it reads; nullptr stops.
void setReadPauseForTest(std::function<void()> pause);
// Reads from an open file until buffer is full or the file ends; got is what was read.
int readInto(int fd, std::span<std::byte> buffer, size_t& got);
// A whole regular file read with openForReading and readOpenedFile. opened is false when the open
// refused it (error as openForReading gives it); a read error, or an end before the size the file
// had when it was opened (EIO: it was cut short meanwhile), gives its error with opened true.
// contents stay empty on a failure. keptOpen, when given, receives the descriptor of a file read
// whole, for the caller to close.
struct FileContents {
    int error = 0;
    bool opened = false;
    std::string contents;
};
FileContents readRegularFile(const std::string& path, size_t limit, int* keptOpen = nullptr);
// The same, for callers that need only the error.
int readWholeFile(const std::string& path, std::string& contents, size_t limit = kMaxSettingsFileBytes);

// Writes a new version of <path> so that a reader sees either the old or the complete new file,
// never a mix, also after a crash or a power cut. The bytes are staged in a file of a unique name
// beside <path> ("<path>.<random>.tmp") that the writer creates itself: never a name that exists
// already, so a FIFO or a link left anywhere is never opened or written through. commit() fsyncs
// it, renames it over <path> and fsyncs the folder; the new file keeps the permissions (and owner)
// of the one it replaces, or the umask's default when there was none. Without a successful commit
// the staged file is removed when the writer goes, and <path> stays as it was; a staged file that
// a crash left behind is left alone. A link in <path>'s place is written through: the staged
// file and the rename are beside the file writtenFile finds (made anew when the link names
// nothing yet), and the link stays a link. That file is never opened: a folder, a FIFO or a
// device there, or a file with a second name (a hard link), is refused at once. Two writers of
// one path need the FileLock of <path>.
class DurableWriter {
public:
    explicit DurableWriter(const std::string& path);
    ~DurableWriter();
    DurableWriter(const DurableWriter&) = delete;
    DurableWriter& operator=(const DurableWriter&) = delete;
    // 0 while the staged file is open; else EISDIR for a folder at <path>, EINVAL for anything
    // else there that is not a regular file, EMLINK for a file with a second name, the error
    // of writtenFile, or the errno of the failed create.
    int openError() const { return openError_; }
    bool opened() const { return openError_ == 0; }
    // Writes bytes at offset; a gap before them reads as zeros. False once any write failed.
    bool writeAt(uint64_t offset, std::span<const std::byte> bytes);
    // Writes bytes after the ones appended before, gathered into large writes.
    void append(std::string_view bytes);
    // False when any write, the fsync or the rename failed, or mayReplace, asked once the staged
    // file is synced, refuses; <path> is then as it was.
    bool commit(const std::function<bool()>& mayReplace = {});
    // After a commit: a descriptor open for reading on the file it put in place, for the caller
    // to close; -1 before.
    int takeCommitted();
    // Run as root, gives the staged file to the owner of its folder when it would be root's own:
    // a file that other users' copies replace must be theirs to mark (platform::LastSeenFile).
    void giveToFolderOwner();

private:
    bool flush();

    std::string path_;
    std::string staged_;
    int fd_ = -1;
    int committed_ = -1;
    int openError_ = 0;
    bool failed_ = false;
    uint64_t appendAt_ = 0;  // where pending_ goes
    std::string pending_;
};

// Replaces <path> with contents through a DurableWriter. Call it while holding the FileLock of
// <path>. False when any step failed; the old file then stays.
bool replaceFileDurably(const std::string& path, const std::string& contents);
// Replaces the file that lock guards with contents while the lock is this copy's, and gives a
// descriptor open for reading on the new file (the caller closes it), or -1 when the write does
// not count. A lock file removed by hand lets another copy lock a new one and read what this one
// read, so the lock is looked at once more just before the rename (-1, the old file staying, when
// it is gone) and once the new file is in place. Gone then, the lock is taken anew, after any copy
// that locked a new lock file is done, and the write counts when readIsLast says that no other
// copy wrote over the version this copy read. Otherwise the new file may stand, but what was
// worked out under the lock must not be given.
int replaceLockedFile(const FileLock& lock, const std::string& contents, const std::function<bool()>& readIsLast);

// The moments of a commit at which a test holds a writer: once its staged file is synced, once
// nothing stops its rename any more, and once its new file is in place.
enum class CommitStep { Synced, Renaming, Renamed };
// Runs pause at each of them with the file the commit replaces; nullptr stops.
void setCommitPauseForTest(std::function<void(CommitStep, const std::string& file)> pause);

}  // namespace platform
