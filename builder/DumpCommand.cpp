#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "FileSystem.h"
#include "LibraryDump.h"
#include "RawDump.h"
#include "SourceLoading.h"

namespace mivra {

namespace {

void reportTo(const std::string& subject, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", subject.c_str(), message.c_str());
}

// A path may end in "\N" to name the N-th type library of a file.
bool sourceExists(const std::string& path) {
    if (fileExists(path)) return true;
    size_t slash = path.rfind('\\');
    return slash != std::string::npos && slash + 1 < path.size() &&
           path.find_first_not_of("0123456789", slash + 1) == std::string::npos && fileExists(path.substr(0, slash));
}

int usage(const char* text) {
    std::fprintf(stderr, "usage: %s\n", text);
    return 2;
}

}  // namespace

int runDumpCommand(const std::vector<std::string>& args) {
    static const char usageText[] = "mivra dump [--raw] [--reader file] SOURCE";
    bool raw = false;
    std::string source;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--raw") {
            raw = true;
        } else if (args[i] == "--reader") {
            if (i + 1 >= args.size() || args[i + 1] != "file") return usage(usageText);
            ++i;
        } else if (args[i].starts_with("--") || !source.empty()) {
            return usage(usageText);
        } else {
            source = args[i];
        }
    }
    if (source.empty()) return usage(usageText);

    std::string path = fullPath(source);
    if (!sourceExists(path)) {
        reportTo(source, "File does not exist");
        return 1;
    }
    auto reader = makeReaderFor(path, nullptr);
    if (!reader->load(path)) {
        reportTo(source, "File does not contain type information");
        return 1;
    }
    std::string out;
    if (raw)
        writeRawDump(*reader, out);
    else
        writeLibraryDump(*reader, out);
    reader->release();
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int runCheckCommand(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].starts_with("--")) return usage("mivra check FILE");
    bool loaded = checkTypeLibraryFile(args[0], nullptr, [&](const std::string& message) { reportTo(args[0], message); });
    return loaded ? 0 : 1;
}

}  // namespace mivra
