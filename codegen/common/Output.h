#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mivra {

// One file being written. A write that does not reach its destination whole,
// or a close that fails, makes the sink failed; close says so.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void write(std::string_view text) = 0;
    // Completes the file; false when any write or the close itself failed.
    virtual bool close() = 0;
};

// Where one run puts its files, by name inside the output folder. The run
// owns it; tests give it a memory output and compare whole files.
class Output {
public:
    virtual ~Output() = default;
    // The sink of a new file, or nothing when it cannot be created.
    virtual std::unique_ptr<OutputSink> open(const std::string& name) = 0;
    // The path a file of that name is shown under (the Java file header and
    // the reports name it).
    virtual std::string pathOf(const std::string& name) const = 0;
};

// Files in a folder, written byte for byte (UTF-8, "\n" line ends).
// A file that already holds what a run writes is left as it is.
class DiskOutput final : public Output {
public:
    explicit DiskOutput(std::string folder) : folder_(std::move(folder)) {}
    std::unique_ptr<OutputSink> open(const std::string& name) override;
    std::string pathOf(const std::string& name) const override;
    // The paths of the files opened, in order.
    const std::vector<std::string>& paths() const { return paths_; }

private:
    std::string folder_;
    std::vector<std::string> paths_;
};

// Files kept in memory; a file exists once its sink has closed.
class MemoryOutput final : public Output {
public:
    std::unique_ptr<OutputSink> open(const std::string& name) override;
    std::string pathOf(const std::string& name) const override { return name; }
    const std::map<std::string, std::string>& files() const { return files_; }

private:
    std::map<std::string, std::string> files_;
};

// The path of a file in the output folder: one separator, never doubled.
std::string outputPath(std::string_view folder, std::string_view fileName);

// Whether a file name is short enough for the file systems the output goes
// to (ext4 and NTFS both hold at most 255 bytes or UTF-16 units a name).
inline constexpr size_t maxFileNameLength = 255;
inline bool fitsFileName(std::string_view fileName) { return fileName.size() <= maxFileNameLength; }

// The longest path the platform opens, in bytes of UTF-8 (Windows counts
// UTF-16 units, never more): PATH_MAX less its NUL, or MAX_PATH less its
// NUL for a program not marked aware of long paths.
#ifdef _WIN32
inline constexpr size_t maxPathLength = 259;
#else
inline constexpr size_t maxPathLength = 4095;
#endif

// The longest class name whose "<name>.java" fits both a file name and,
// inside the folder of that full path, a path.
size_t classNameRoom(std::string_view folderPath);

}  // namespace mivra
