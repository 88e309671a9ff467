#include "unreadable_files.h"

#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

std::vector<std::string> MakeUnreadableFiles(const std::string& folder, const std::string& extension) {
    const std::vector<std::string> names = {"fifo" + extension, "zero" + extension, "huge" + extension};
    const int huge = ::open((folder + names[2]).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool made = ::mkfifo((folder + names[0]).c_str(), 0644) == 0 &&
                      ::symlink("/dev/zero", (folder + names[1]).c_str()) == 0 && huge >= 0 &&
                      ::ftruncate(huge, off_t{3} << 30) == 0;
    if (huge >= 0) ::close(huge);
    if (!made) throw std::runtime_error("cannot make the unreadable files in " + folder);
    return names;
}
