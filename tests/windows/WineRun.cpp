#include "WineRun.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace mivra::wintest {

namespace fs = std::filesystem;

namespace {

// A file that vanishes when closed, to take one output of a child.
int anonymousFile() {
    char name[] = "/tmp/mivra-wine-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) unlink(name);
    return fd;
}

std::string contentsOf(int fd) {
    std::string text;
    if (lseek(fd, 0, SEEK_SET) != 0) return text;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
    return text;
}

}  // namespace

// The outputs go to files, not pipes: the first Wine program of a session
// starts wineserver and Wine's services, which inherit the outputs and keep
// a pipe open long after the program itself has ended.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& workingFolder) {
    ProcessResult result;
    int outFile = anonymousFile(), errFile = anonymousFile();
    if (outFile < 0 || errFile < 0) {
        if (outFile >= 0) close(outFile);
        if (errFile >= 0) close(errFile);
        return result;
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(outFile, STDOUT_FILENO);
        dup2(errFile, STDERR_FILENO);
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, STDIN_FILENO);
        if (!workingFolder.empty() && chdir(workingFolder.c_str()) != 0) _exit(127);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = contentsOf(outFile);
        result.err = contentsOf(errFile);
    }
    close(outFile);
    close(errFile);
    return result;
}

ProcessResult runWindowsMivra(const std::vector<std::string>& args, const std::string& workingFolder) {
    // env(1) sets Wine's variables for the child alone: the tests of one
    // program may run side by side.
    std::vector<std::string> argv = {"env", std::string("WINEPREFIX=") + MIVRA_WINEPREFIX, "WINEDEBUG=-all",
                                     "WINEDLLOVERRIDES=winemenubuilder.exe=d", MIVRA_WINE64, MIVRA_WINDOWS_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, workingFolder);
}

ProcessResult runLinuxMivra(const std::vector<std::string>& args, const std::string& workingFolder) {
    std::vector<std::string> argv = {MIVRA_LINUX_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, workingFolder);
}

std::string missingPrerequisite() {
    std::error_code ec;
    if (!fs::exists(MIVRA_WINDOWS_EXE, ec))
        return std::string("no Windows build at ") + MIVRA_WINDOWS_EXE + " (scripts/prepare.sh makes it)";
    if (!fs::exists(MIVRA_WINE64, ec)) return std::string("no wine64 at ") + MIVRA_WINE64;
    if (!fs::exists(fs::path(MIVRA_WINEPREFIX) / "system.reg", ec))
        return std::string("no Wine prefix at ") + MIVRA_WINEPREFIX;
    return {};
}

bool runningInCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

std::string wineZPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::map<std::string, std::string> splitDumpBySource(const std::string& output) {
    std::map<std::string, std::string> parts;
    std::string* current = nullptr;
    std::istringstream lines(withoutCarriageReturns(output));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("==> ") && line.ends_with(" <==")) {
            std::string source = line.substr(4, line.size() - 8);
            size_t slash = source.find_last_of("/\\");
            current = &parts[slash == std::string::npos ? source : source.substr(slash + 1)];
        } else if (current) {
            *current += line + "\n";
        }
    }
    return parts;
}

std::vector<std::string> fileNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string firstDifference(const std::string& expected, const std::string& actual) {
    std::istringstream a(expected), b(actual);
    std::string lineA, lineB;
    for (int number = 1;; ++number) {
        bool moreA = static_cast<bool>(std::getline(a, lineA));
        bool moreB = static_cast<bool>(std::getline(b, lineB));
        if (!moreA && !moreB) return "no difference";
        if (!moreA) lineA = "<end>";
        if (!moreB) lineB = "<end>";
        if (lineA != lineB || !moreA || !moreB)
            return "line " + std::to_string(number) + ":\n  expected: " + lineA + "\n  actual:   " + lineB;
    }
}

}  // namespace mivra::wintest
