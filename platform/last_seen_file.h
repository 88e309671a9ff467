#pragma once
// A settings file (the store, an INI file) as this running copy last read or wrote it, kept
// with a descriptor open on that very file. Found removed or cut to 0 bytes later, the file is
// lost, not new: read as new it would give its serial numbers again from the start and drop
// its counts. Whether this copy's view is the file's last version tells what to do then.
//
// A copy that writes a file marks the version it replaced (it clears its permissions and sets its
// time to the epoch; only a version that no name reaches any more), and every version whose
// numbers its new file carries: a copy still holding a marked version knows that another copy
// went on from it. On a network file system a version replaced or removed while held open keeps
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
// serial number set anew, the counters reset) may make the file again from such a view.
enum class StaleWrite { Refuse, Allow };

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

    // For a file found missing or empty under name; atName is the empty file there, if any.
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
    // What reads give while the file is lost: the text this copy last saw, its numbers carried.
    const std::string& contents() const { return contents_; }

private:
    void adopt(std::string contents, int fd, const CarryView& carry);
    void forget();

    std::string name_;
    std::string contents_;
    int fd_ = -1;
    std::vector<int> carried_;  // versions whose numbers are in contents_ and in no file yet
};

// True when a write of some copy marked version as one it went on from: it replaced it, or
// carried its numbers into its own file.
bool wentOnFrom(int version);

// Tests make the file system that holds folder count as a network file system; "" stops.
void setNetworkFolderForTest(const std::string& folder);

}  // namespace platform
