#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "ConsoleText.h"
#include "FileSystem.h"
#include "LibraryDump.h"
#include "OleTypeLibraryReader.h"
#include "RawDump.h"
#include "SourceLoading.h"
#include "SystemCodePage.h"

namespace mivra {

namespace {

void reportTo(const std::string& subject, const std::string& message) { printFailure(subject + ": " + message); }

// A path may end in "\N" to name the N-th type library of a file.
bool sourceExists(const std::string& path) {
    if (fileExists(path)) return true;
    size_t slash = path.rfind('\\');
    return slash != std::string::npos && slash + 1 < path.size() &&
           path.find_first_not_of("0123456789", slash + 1) == std::string::npos && fileExists(path.substr(0, slash));
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

bool dumpSource(const std::string& source, bool raw, bool resolved, const ReaderFactory& factory,
                const ClassRegistry* registry) {
    std::string path = fullPath(source);
    if (!sourceExists(path)) {
        reportTo(source, "File does not exist");
        return false;
    }
    auto reader = makeReaderFor(path, factory, registry);
    auto loaded = reader->load(path);
    if (!loaded) {
        reader->release();
        reportTo(source, loadFailureText(loaded, "File does not contain type information"));
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
    static const char usageText[] =
        "usage: mivra dump [--raw [--resolved]] [--reader file|ole] [--registry PREFIX] SOURCE...\n";
    bool raw = false, resolved = false;
    std::string registryPrefix;
    ReaderFactory factory;
    std::vector<std::string> sources;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--raw") {
            raw = true;
        } else if (args[i] == "--resolved") {
            resolved = true;
        } else if (args[i] == "--reader") {
            if (i + 1 >= args.size()) return usageError("dump: --reader needs a value", usageText);
            if (!readerNamed(args[i + 1], factory)) {
                if (args[i + 1] != "ole")
                    return usageError("dump: --reader takes file or ole, not \"" + args[i + 1] + "\"", usageText);
                printFailure("dump: --reader ole: this platform has no OLE Automation type-library service");
                return exitUsage;
            }
            ++i;
        } else if (args[i] == "--registry") {
            if (i + 1 >= args.size()) return usageError("dump: --registry needs a value", usageText);
            registryPrefix = args[++i];
        } else if (args[i].starts_with("--")) {
            return usageError("dump: unknown option \"" + args[i] + "\"", usageText);
        } else {
            sources.push_back(args[i]);
        }
    }
    if (sources.empty()) return usageError("dump: no SOURCE given", usageText);
    if (resolved && !raw) return usageError("dump: --resolved needs --raw", usageText);

    // Imports are also looked for where the registry has them, as generate
    // looks for them.
    auto registry = openClassRegistry(registryPrefix);
    // Several sources are dumped one after the other, each after a line that
    // names it, so that one process (one Wine start) can read many libraries.
    bool allDumped = true;
    for (const auto& source : sources) {
        if (sources.size() > 1) {
            std::printf("==> %s <==\n", printableText(source).c_str());
            std::fflush(stdout);
        }
        if (!dumpSource(source, raw, resolved, factory, registry.get())) allDumped = false;
    }
    return allDumped ? exitSuccess : exitFailure;
}

int runCheckCommand(const std::vector<std::string>& args) {
    static const char usageText[] = "usage: mivra check FILE\n";
    if (args.size() == 1 && args[0].starts_with("--"))
        return usageError("check: unknown option \"" + args[0] + "\"", usageText);
    if (args.size() != 1) return usageError("check: one FILE is needed", usageText);
    bool loaded = checkTypeLibraryFile(args[0], nullptr, [&](const std::string& message) { reportTo(args[0], message); });
    return loaded ? exitSuccess : exitFailure;
}

}  // namespace mivra
