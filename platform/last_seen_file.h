#pragma once
// A settings file (the store, an INI file) as this running copy last read or wrote it, kept
// with a descriptor open on that very file. Found removed or cut to 0 bytes later, the file is
// lost, not new: read as new it would give its serial numbers again from the start and drop
// its counts. Whether this copy's view is the file's last version tells what to do then.
//
// A copy that writes a file marks the version it replaced (it clears its permissions and sets its
// time to the epoch; only a version that no name reaches any more), and every version whose
// numbers its new file carries: a copy still holding a marked version knows that another copy
// went on from it. A version that no copy marked, replaced at its name by a file this copy never
// saw (an editor's save) and then removed, is one this copy cannot tell from its last: see
// README's limits. On a network file system a version replaced or removed while held open keeps
// a hidden name (".nfs..."): that name counts for nothing, and such a version is marked all the
// same; one moved aside keeps a name of its own, as on a local disk.
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace platform {

enum class FileLoss {
    None,     // the file is there with contents, or this copy never saw it: read it as it is
    Current,  // lost, and this copy saw its last version: write it anew from that and go on
    Stale,    // lost after another copy replaced the version this copy saw, or that version still
              // has a name where another copy may take from it: its numbers are not here
};

// Whether a write to a file lost in a stale view goes ahead: only the operator's own word (a
// serial number set anew, the counters reset) may make the file again from such a view. A
// setting that is neither a number given nor a count goes into the file as it stands instead
// (the last writer's setting stands): its numbers and counts stay as they are, none of this
// copy's view is carried in, and this copy's view stays out of date (LastSeenFile::wroteAside).
enum class StaleWrite { Refuse, Allow, Setting };

// Raises the values of a file found (its text) by this copy's view (a text of the same form)
// where this copy's numbers must not drop, and gives the text to read.
using CarryView = std::function<std::string(const std::string& view, const std::string& found)>;

// What this copy reads from a file found with contents.
struct FoundView {
    std::string text;
    // The version this copy saw still has a name elsewhere, where another copy may take its
    // numbers: none may be taken here until the operator's own word.
    bool outOfDate = false;
    // Found in place of the version this copy saw after another copy wrote over that version:
    // the file is read as it is, though this copy cannot tell it from one made anew.
    bool overtaken = false;
};

class LastSeenFile {
public:
    LastSeenFile() = default;
    ~LastSeenFile();
    LastSeenFile(const LastSeenFile&) = delete;
    LastSeenFile& operator=(const LastSeenFile&) = delete;

    // For a file found missing or empty under name; atName is the empty file there, if any. An
    // empty file that is not the version seen came in its place after this copy's look, by a
    // hand or a copy that this copy cannot follow: Stale.
    FileLoss lossOf(const std::string& name, const struct stat* atName) const;
    // This copy read contents (not empty) at name; fd is open on that file and is taken over.
    // A file found in place of the version seen, which no copy that saw it wrote over (it was
    // removed or emptied, and the file made by a copy that never saw it, or from an older
    // view), holds none of this copy's numbers: they are carried into what is read, and stay
    // carried until this copy, or another copy that held the same version, writes them on.
    FoundView found(const std::string& name, std::string contents, int fd, const CarryView& carry);
    // This copy wrote contents at name; fd is open on the new file and is taken over. replaced
    // is open on the version read before, when there was one; it stays the caller's.
    void wrote(const std::string& name, std::string contents, int fd, int replaced);
    // This copy wrote a setting into the file at name as it stood while its view was out of date
    // (StaleWrite::Setting); fd is open on the new file and is taken over. The view stays as it
    // was and out of date: that file, and the file lost after it, are read as when the view was
    // found out of date, until another copy goes on from that file (it marks it) or this copy
    // writes with its operator's word.
    void wroteAside(const std::string& name, int fd);
    // What reads give while the file is lost: the text this copy last saw, its numbers carried.
    const std::string& contents() const { return contents_; }

private:
    void adopt(std::string contents, int fd, const CarryView& carry);
    void forget();

    std::string name_;
    std::string contents_;
    int fd_ = -1;
    std::vector<int> carried_;  // versions whose numbers are in contents_ and in no file yet
    std::vector<int> aside_;    // files this copy wrote while its view was out of date
    // Closes the files written aside that another copy went on from; true while one is left.
    bool keptAside();
};

// True when a write of some copy marked version as one it went on from: it replaced it, or
// carried its numbers into its own file.
bool wentOnFrom(int version);
// Marks version, which a write of this copy replaced at its name and whose numbers the new file
// carries as they stood, as one it went on from (as LastSeenFile::wrote marks the version it
// replaced): for a write outside this copy's view (StaleWrite::Setting).
void markWentOnFrom(int version);

// Tests make the file system that holds folder count as a network file system; "" stops.
void setNetworkFolderForTest(const std::string& folder);

}  // namespace platform
