// Test-only stand-in for the transfer client: records which descriptors it was started with
// and where it runs. It appends two lines to the file named by LIST_DESCRIPTORS_OUT (or to
// descriptors.txt in its working directory): the open descriptor numbers, sorted and separated
// by blanks, then the working directory.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

int main() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return 1;
    const int listing = ::dirfd(dir);  // open only to list the others
    std::vector<int> open;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        const int fd = std::atoi(e->d_name);
        if (fd != listing) open.push_back(fd);
    }
    ::closedir(dir);
    std::sort(open.begin(), open.end());

    std::string text;
    for (int fd : open) text += (text.empty() ? "" : " ") + std::to_string(fd);
    char cwd[4096];
    text += "\n" + std::string(::getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";

    // Opened only now, so that it is not among the descriptors listed; one write, so that a
    // reader never sees the first line without the second.
    const char* out = std::getenv("LIST_DESCRIPTORS_OUT");
    const int fd = ::open(out && *out ? out : "descriptors.txt",
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return 1;
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return written ? 0 : 1;
}
