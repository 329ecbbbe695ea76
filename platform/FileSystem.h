#pragma once

#include <memory>
#include <streambuf>
#include <string>

namespace mivra {

// The absolute form of a path, a relative one taken from the current
// directory; the path itself when it cannot be resolved.
std::string fullPath(const std::string& path);

// Whether something exists at the path (a file or a folder).
bool fileExists(const std::string& path);

// Whether the path itself, not what it may point to, is a symbolic link, a
// junction or another reparse point.
bool isLink(const std::string& path);

// Whether two existing paths name the same file or folder (the same
// identity on disk, whatever the spelling).
bool sameFile(const std::string& a, const std::string& b);

// A new folder inside parent, named prefix and random characters, that
// nobody else can have made or can enter: created exclusively, for the owner
// alone. Empty on failure.
std::string createPrivateFolder(const std::string& parent, const std::string& prefix);

// A file created for binary writing where nothing existed before: it fails
// rather than open an existing file or follow a link planted at its name.
class NewFile : public std::streambuf {
public:
    static std::unique_ptr<NewFile> create(const std::string& path);
    ~NewFile() override;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Writes what is buffered and closes; false if any write failed.
    bool close();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;
    int sync() override;

private:
    explicit NewFile(std::intptr_t handle);
    bool flushBuffer();

    std::intptr_t handle_;
    bool open_ = true;
    bool failed_ = false;
    char buffer_[1 << 16];
};

}  // namespace mivra
