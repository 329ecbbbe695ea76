#include "ProcessServices.h"

#include <malloc.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace mivra {

std::string ownProgramPath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string shortPathName(const std::string& path) { return path; }

std::string driveOf(const std::string&) { return {}; }

bool scriptsAsBat() { return false; }

bool shellOpen(const std::string& document, const std::string& workingFolder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    std::string program = "xdg-open";
    std::string argument = document;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    const int status = posix_spawnp(&child, "xdg-open", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0;
}

void useParentConsole() {}

void prepareHeapForLargeWork() {
#ifdef __GLIBC__
    constexpr size_t step = size_t{64} << 20;
    constexpr uintptr_t hugePage = uintptr_t{2} << 20;
    // Every block from the one heap, grown a step at a time and kept to the
    // end: a block given back would be faulted in afresh when used again.
    mallopt(M_MMAP_THRESHOLD, int(step / 2));
    mallopt(M_TRIM_THRESHOLD, int(step * 4));
    mallopt(M_TOP_PAD, int(step));
    void* probe = std::malloc(size_t{1} << 20);
    if (!probe) return;
    auto start = (reinterpret_cast<uintptr_t>(probe) + hugePage - 1) & ~(hugePage - 1);
    auto end = reinterpret_cast<uintptr_t>(sbrk(0)) & ~(hugePage - 1);
    std::free(probe);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

void markExecutableIfProgram(const std::string& path) {
    char head[4] = {};
    {
        std::ifstream in(path, std::ios::binary);
        in.read(head, sizeof head);
        if (in.gcount() < 2) return;
    }
    const bool elf = head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
    const bool script = head[0] == '#' && head[1] == '!';
    if (!elf && !script) return;
    std::error_code error;
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                     std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add, error);
}

int runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const bool bare = program.find('/') == std::string::npos;
    const int status = bare ? posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ)
                            : posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (status != 0) return -1;
    int result = 0;
    while (waitpid(child, &result, 0) < 0)
        if (errno != EINTR) return -1;
    if (WIFEXITED(result)) return WEXITSTATUS(result);
    return 128 + (WIFSIGNALED(result) ? WTERMSIG(result) : 0);
}

std::string findProgramOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos) return {};
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        // An empty entry means the current folder, as for the shell.
        std::string folder = end > start ? folders.substr(start, end - start) : ".";
        std::string candidate = folder + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace mivra
