#include "FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace mivra {

std::string fullPath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer)) return path;
    std::string directory = buffer;
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory + path;
}

bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool isLink(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::string createPrivateFolder(const std::string& parent, const std::string& prefix) {
    std::string name = parent + "/" + prefix + "XXXXXX";
    // mkdtemp makes the folder with mode 0700 and never takes an existing name.
    if (!::mkdtemp(name.data())) return {};
    return name;
}

std::unique_ptr<NewFile> NewFile::create(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::unique_ptr<NewFile>(new NewFile(fd));
}

NewFile::NewFile(std::intptr_t handle) : handle_(handle) { setp(buffer_, buffer_ + sizeof buffer_); }

bool NewFile::flushBuffer() {
    const char* data = pbase();
    std::size_t left = static_cast<std::size_t>(pptr() - pbase());
    while (left > 0 && !failed_) {
        const ssize_t written = ::write(static_cast<int>(handle_), data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed_ = true;
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return !failed_;
}

bool NewFile::close() {
    if (!open_) return !failed_;
    flushBuffer();
    if (::close(static_cast<int>(handle_)) != 0) failed_ = true;
    open_ = false;
    return !failed_;
}

}  // namespace mivra
