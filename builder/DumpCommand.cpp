#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "FileSystem.h"
#include "LibraryDump.h"
#include "OleTypeLibraryReader.h"
#include "RawDump.h"
#include "SourceLoading.h"
#include "SystemCodePage.h"

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

// The reader named by --reader: the file reader (an empty factory) or the
// platform's OLE Automation, which only Windows has.
bool readerNamed(const std::string& name, ReaderFactory& factory) {
    if (name == "file") {
        factory = nullptr;
        return true;
    }
    if (name == "ole" && makeOleTypeLibraryReader()) {
        factory = [] { return makeOleTypeLibraryReader(); };
        return true;
    }
    return false;
}

bool dumpSource(const std::string& source, bool raw, bool resolved, const ReaderFactory& factory) {
    std::string path = fullPath(source);
    if (!sourceExists(path)) {
        reportTo(source, "File does not exist");
        return false;
    }
    auto reader = makeReaderFor(path, factory);
    if (!reader->load(path)) {
        reader->release();
        reportTo(source, "File does not contain type information");
        return false;
    }
    std::string out;
    if (resolved) {
        // Read completely first, then written without the reader. A
        // library that tells nothing, not even its name, dumps as empty.
        auto library = resolve(*reader);
        writeResolvedDump(library ? *library : ResolvedLibrary{}, out);
    } else if (raw) {
        writeRawDump(*reader, out);
    } else {
        writeLibraryDump(*reader, out);
    }
    reader->release();
    out = systemCodePageText(out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0;
}

}  // namespace

int runDumpCommand(const std::vector<std::string>& args) {
    static const char usageText[] = "mivra dump [--raw [--resolved]] [--reader file|ole] SOURCE...";
    bool raw = false, resolved = false;
    ReaderFactory factory;
    std::vector<std::string> sources;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--raw") {
            raw = true;
        } else if (args[i] == "--resolved") {
            resolved = true;
        } else if (args[i] == "--reader") {
            if (i + 1 >= args.size()) return usage(usageText);
            if (!readerNamed(args[i + 1], factory)) {
                if (args[i + 1] != "ole") return usage(usageText);
                std::fputs("mivra dump: this platform has no OLE Automation type-library service\n", stderr);
                return 2;
            }
            ++i;
        } else if (args[i].starts_with("--")) {
            return usage(usageText);
        } else {
            sources.push_back(args[i]);
        }
    }
    if (sources.empty() || (resolved && !raw)) return usage(usageText);

    // Several sources are dumped one after the other, each after a line that
    // names it, so that one process (one Wine start) can read many libraries.
    bool allDumped = true;
    for (const auto& source : sources) {
        if (sources.size() > 1) {
            std::printf("==> %s <==\n", source.c_str());
            std::fflush(stdout);
        }
        if (!dumpSource(source, raw, resolved, factory)) allDumped = false;
    }
    return allDumped ? 0 : 1;
}

int runCheckCommand(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].starts_with("--")) return usage("mivra check FILE");
    bool loaded = checkTypeLibraryFile(args[0], nullptr, [&](const std::string& message) { reportTo(args[0], message); });
    return loaded ? 0 : 1;
}

}  // namespace mivra
