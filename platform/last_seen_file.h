#pragma once
// A settings file (the store, an INI file) as this running copy last read or wrote it, kept
// with a descriptor open on that very file. Found removed or cut to 0 bytes later, the file is
// lost, not new: read as new it would give its serial numbers again from the start and drop
// its counts. Whether this copy's view is the file's last version tells what to do then.
#include <string>

namespace platform {

enum class FileLoss {
    None,     // the file is there with contents, or this copy never saw it: read it as it is
    Current,  // lost, and this copy saw its last version: write it anew from that and go on
    Stale,    // lost after another copy replaced the version this copy saw: its numbers are not here
};

// Whether a write to a file lost in a stale view goes ahead: only the operator's own word (a
// serial number set anew, the counters reset) may make the file again from such a view.
enum class StaleWrite { Refuse, Allow };

class LastSeenFile {
public:
    LastSeenFile() = default;
    ~LastSeenFile();
    LastSeenFile(const LastSeenFile&) = delete;
    LastSeenFile& operator=(const LastSeenFile&) = delete;

    // This copy read or wrote contents (not empty) at name; fd is open on that file and is
    // taken over. The file seen before, when this copy has just replaced it, is marked first.
    void keep(const std::string& name, std::string contents, int fd, bool replacedPrevious);
    // For a file found missing or empty under name.
    FileLoss lossOf(const std::string& name) const;
    const std::string& contents() const { return contents_; }

private:
    std::string name_;
    std::string contents_;
    int fd_ = -1;
};

}  // namespace platform
