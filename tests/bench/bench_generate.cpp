// Generates the whole output for Wine's mshtml.tlb into a temporary folder,
// in the default mode and with --mapping full, and prints the wall times and
// the peak resident memory, next to the time mingw-w64's genidl takes to dump
// the same file as IDL.
//
//   build/bin/mivra_bench_generate [TYPELIB] [RUNS]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "FullModel.h"
#include "FullWriters.h"
#include "Generator.h"
#include "Output.h"
#include "ResolvedLibrary.h"
#include "SourceLoading.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class BenchGenerator : public mivra::Generator {
public:
    int reports = 0;
    void reportError(const std::string& subject, const std::string& message) override {
        if (++reports <= 5) std::fprintf(stderr, "%s: %s\n", subject.c_str(), message.c_str());
    }
};

uintmax_t folderBytes(const fs::path& folder) {
    uintmax_t total = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) total += entry.file_size();
    return total;
}

// Runs genidl in folder; its wall time in milliseconds, or -1.
double genidlMilliseconds(const std::string& typelib, const fs::path& folder) {
    auto start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        // genidl reports the imported types it does not resolve; only its
        // time matters here.
        if (!freopen("/dev/null", "w", stderr)) _exit(127);
        execlp("genidl", "genidl", typelib.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string typelib = argc > 1 ? argv[1] : std::string(MIVRA_WINE_DLLS) + "/mshtml.tlb";
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    fs::path folder = fs::temp_directory_path() / ("mivra-bench-" + std::to_string(getpid()));
    fs::create_directories(folder / "mivra");
    fs::create_directories(folder / "genidl");

    double best = 1e300, bestFull = 1e300, bestGenidl = 1e300;
    int javaFiles = 0, jniFunctions = 0, fullJavaFiles = 0, bound = 0, functions = 0;
    for (int i = 0; i < runs; ++i) {
        double g = genidlMilliseconds(typelib, folder / "genidl");
        if (g >= 0 && g < bestGenidl) bestGenidl = g;
        for (auto mode : {mivra::MappingMode::Basic, mivra::MappingMode::Full}) {
            const bool full = mode == mivra::MappingMode::Full;
            fs::path out = folder / (full ? "full" : "mivra");
            fs::create_directories(out);
            BenchGenerator generator;
            generator.mapping = mode;
            generator.inputs = {typelib, out.string(), "bench.mshtml", "JBench.dll"};
            auto start = Clock::now();
            bool ok = generator.run();
            generator.finish();
            double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            if (!ok) {
                std::fprintf(stderr, "generation failed\n");
                return 1;
            }
            if (full) {
                bestFull = std::min(bestFull, ms);
                fullJavaFiles = generator.javaFileCount();
                bound = generator.boundFunctionCount();
                functions = generator.dispatchFunctionCount();
            } else {
                best = std::min(best, ms);
                javaFiles = generator.javaFileCount();
                jniFunctions = generator.jniFunctionCount();
            }
        }
    }
    // Where the full mode's time goes: loading, resolving, the class model,
    // the texts (written to memory).
    double load = 1e300, resolving = 1e300, modelling = 1e300, writing = 1e300;
    for (int i = 0; i < runs; ++i) {
        mivra::TypeModel model;
        auto t0 = Clock::now();
        if (!mivra::loadSource(typelib, model, nullptr, [](const std::string&, const std::string&) {}, false)) break;
        auto t1 = Clock::now();
        auto resolved = mivra::resolve(*model.library);
        auto t2 = Clock::now();
        if (!resolved) break;
        mivra::FullModel full = mivra::buildFullModel(*resolved, {});
        auto t3 = Clock::now();
        mivra::MemoryOutput output;
        int files = 0;
        mivra::writeFullBindings(output, full, {"bench.mshtml", "bench/mshtml", "Mon Dec 07 12:00:00 2026\n", "/out"},
                                 [](const std::string&, const std::string&) {}, files);
        auto t4 = Clock::now();
        auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
        load = std::min(load, ms(t0, t1));
        resolving = std::min(resolving, ms(t1, t2));
        modelling = std::min(modelling, ms(t2, t3));
        writing = std::min(writing, ms(t3, t4));
        model.clear();
    }
    std::printf("full mode phases  load %.1f ms, resolve %.1f ms, model %.1f ms, texts %.1f ms (best of %d each)\n",
                load, resolving, modelling, writing, runs);
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("source            %s\n", typelib.c_str());
    std::printf("mivra generate    %.1f ms (best of %d), %d Java files, %d JNI functions, %.1f MB written\n", best,
                runs, javaFiles, jniFunctions, folderBytes(folder / "mivra") / 1e6);
    std::printf("mivra --mapping full %.1f ms (best of %d), %d Java files, %d of %d functions bound, %.1f MB written\n",
                bestFull, runs, fullJavaFiles, bound, functions, folderBytes(folder / "full") / 1e6);
    if (bestGenidl < 1e300)
        std::printf("genidl            %.1f ms (best of %d), %.1f MB written\n", bestGenidl, runs,
                    folderBytes(folder / "genidl") / 1e6);
    else
        std::printf("genidl            not available\n");
    std::printf("ratio             %.2f (default / genidl), %.2f (full / genidl), %.2f (full / default)\n",
                bestGenidl < 1e300 ? best / bestGenidl : 0.0, bestGenidl < 1e300 ? bestFull / bestGenidl : 0.0,
                bestFull / best);
    std::printf("peak RSS          %.1f MB\n", usage.ru_maxrss / 1024.0);
    fs::remove_all(folder);
    return 0;
}
