// Generates the whole output for Wine's mshtml.tlb into a temporary folder,
// in the default mode and with --mapping full, and prints the wall times and
// the peak resident memory, next to the time mingw-w64's genidl takes to dump
// the same file as IDL.
//
//   build/bin/mivra_bench_generate [TYPELIB] [RUNS]
//
// With --against-genidl, the mivra processes alone against genidl, run in
// pairs, for mshtml.tlb, msxml6.dll and shell32.dll: generate (both modes)
// into a new folder and over the output of the run before, and dump; the
// medians of RUNS pairs (default 20) and the median of the pairs' ratios,
// in wall time and in processor time (user and system).
//
//   build/bin/mivra_bench_generate --against-genidl [RUNS] [MIVRA]
//
// With --javac, what the user's build costs: javac of the default output's
// Java files and of the full output (against the runtime jar), for
// mshtml.tlb and msxml6.dll side by side, the medians of RUNS (default 5)
// in wall time, processor time and javac's peak resident memory.
//
//   build/bin/mivra_bench_generate --javac [RUNS] [MIVRA]

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// Runs a program in folder with its diagnostics discarded; its wall time in
// milliseconds, or -1. Spawned without fork, which would leave every page of
// this process copy-on-write and charge the faults to the generation
// measured next.
// The user and system time of the last process run, in milliseconds: on a
// busy machine the wall time waits for others, this does not.
double lastCpuMilliseconds = 0;
// And its peak resident memory, in MiB.
double lastPeakMebibytes = 0;

double processMilliseconds(std::vector<std::string> command, const fs::path& folder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> arguments;
    for (std::string& word : command) arguments.push_back(word.data());
    arguments.push_back(nullptr);
    auto start = Clock::now();
    pid_t child = 0;
    int failed = posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage{};
    if (failed || wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    lastPeakMebibytes = usage.ru_maxrss / 1024.0;
    lastCpuMilliseconds = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                          (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double best(double a, double b) { return b >= 0 && b < a ? b : a; }

double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

int againstGenidl(int runs, const std::string& mivra) {
    fs::path folder = fs::temp_directory_path() / ("mivra-bench-pairs-" + std::to_string(getpid()));
    std::printf("%d pairs each, medians; mivra = %s\n", runs, mivra.c_str());
    std::printf("%-12s %-28s %9s %9s %6s %9s %9s %6s\n", "library", "command", "mivra ms", "genidl ms", "ratio",
                "mivra cpu", "genidl cpu", "ratio");
    for (const char* name : {"mshtml.tlb", "msxml6.dll", "shell32.dll"}) {
        const std::string source = std::string(MIVRA_WINE_DLLS) + "/" + name;
        struct Case {
            const char* label;
            std::vector<std::string> arguments;
            bool fresh;
        } cases[] = {
            {"generate, new folder", {"generate", "-p", "bench.lib", "-i", source, "-o", "out"}, true},
            {"generate, over earlier", {"generate", "-p", "bench.lib", "-i", source, "-o", "out"}, false},
            {"generate full, new folder", {"generate", "-p", "bench.lib", "-i", source, "-o", "out", "--mapping", "full"}, true},
            {"generate full, over earlier", {"generate", "-p", "bench.lib", "-i", source, "-o", "out", "--mapping", "full"}, false},
            {"dump", {"dump", source}, true},
        };
        for (const Case& c : cases) {
            std::vector<double> own, genidl, ratios, ownCpu, genidlCpu, cpuRatios;
            fs::remove_all(folder);
            for (int i = 0; i <= runs; ++i) {
                if (c.fresh) fs::remove_all(folder);
                fs::create_directories(folder);
                std::vector<std::string> command{mivra};
                command.insert(command.end(), c.arguments.begin(), c.arguments.end());
                if (c.fresh) fs::remove_all(folder / "out");
                double a = processMilliseconds(command, folder);
                double aCpu = lastCpuMilliseconds;
                double b = processMilliseconds({"genidl", source}, folder);
                double bCpu = lastCpuMilliseconds;
                // The first pair only makes the earlier output.
                if (i == 0) continue;
                if (a < 0 || b < 0) break;
                own.push_back(a);
                genidl.push_back(b);
                ratios.push_back(a / b);
                ownCpu.push_back(aCpu);
                genidlCpu.push_back(bCpu);
                cpuRatios.push_back(aCpu / std::max(bCpu, 0.001));
            }
            if (own.empty())
                std::printf("%-12s %-28s %9s\n", name, c.label, "failed");
            else
                std::printf("%-12s %-28s %9.1f %9.1f %6.2f %9.1f %9.1f %6.2f\n", name, c.label, median(own),
                            median(genidl), median(ratios), median(ownCpu), median(genidlCpu), median(cpuRatios));
            std::fflush(stdout);
        }
    }
    fs::remove_all(folder);
    return 0;
}

std::vector<std::string> javaFilesIn(const fs::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".java") files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

int javacOfOutputs(int runs, const std::string& mivra) {
    fs::path folder = fs::temp_directory_path() / ("mivra-bench-javac-" + std::to_string(getpid()));
    const std::string jar = std::string(MIVRA_BINARY_DIR) + "/runtime/mivra-runtime.jar";
    std::printf("javac, medians of %d runs; mivra = %s\n", runs, mivra.c_str());
    std::printf("%-12s %-8s %6s %9s %9s %9s   %s\n", "library", "output", "files", "wall ms", "cpu ms", "peak MiB",
                "full / default (wall, cpu, memory)");
    for (const char* name : {"mshtml.tlb", "msxml6.dll"}) {
        const std::string source = std::string(MIVRA_WINE_DLLS) + "/" + name;
        double wall[2] = {}, cpu[2] = {}, peak[2] = {};
        size_t files[2] = {};
        for (int full = 0; full < 2; ++full) {
            fs::remove_all(folder);
            fs::create_directories(folder / "classes");
            std::vector<std::string> generate{mivra, "generate", "-p", "bench.lib", "-i", source, "-o", "out"};
            if (full) generate.insert(generate.end(), {"--mapping", "full"});
            if (processMilliseconds(generate, folder) < 0) {
                std::printf("%-12s %-8s generation failed\n", name, full ? "full" : "default");
                continue;
            }
            std::vector<std::string> javac{"javac", "-nowarn", "-d", "../classes", "-cp", jar};
            std::vector<std::string> sources = javaFilesIn(folder / "out");
            files[full] = sources.size();
            javac.insert(javac.end(), sources.begin(), sources.end());
            std::vector<double> walls, cpus, peaks;
            for (int i = 0; i < runs; ++i) {
                double ms = processMilliseconds(javac, folder / "out");
                if (ms < 0) break;
                walls.push_back(ms);
                cpus.push_back(lastCpuMilliseconds);
                peaks.push_back(lastPeakMebibytes);
            }
            wall[full] = median(walls);
            cpu[full] = median(cpus);
            peak[full] = median(peaks);
            std::printf("%-12s %-8s %6zu %9.0f %9.0f %9.1f", name, full ? "full" : "default", files[full], wall[full],
                        cpu[full], peak[full]);
            if (full && wall[0] > 0 && wall[1] > 0)
                std::printf("   %.2f, %.2f, %.2f", wall[1] / wall[0], cpu[1] / cpu[0], peak[1] / peak[0]);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    fs::remove_all(folder);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--against-genidl") {
        int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
        std::string mivra = argc > 3 ? argv[3] : (fs::absolute(argv[0]).parent_path() / "mivra").string();
        return againstGenidl(runs, mivra);
    }
    if (argc > 1 && std::string(argv[1]) == "--javac") {
        int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
        std::string mivra = argc > 3 ? argv[3] : (fs::absolute(argv[0]).parent_path() / "mivra").string();
        return javacOfOutputs(runs, mivra);
    }
    std::string typelib = argc > 1 ? argv[1] : std::string(MIVRA_WINE_DLLS) + "/mshtml.tlb";
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    fs::path folder = fs::temp_directory_path() / ("mivra-bench-" + std::to_string(getpid()));
    fs::create_directories(folder / "mivra");
    fs::create_directories(folder / "genidl");

    const std::string mivra = (fs::absolute(argv[0]).parent_path() / "mivra").string();
    double bestDefault = 1e300, bestFull = 1e300, bestGenidl = 1e300, processDefault = 1e300, processFull = 1e300;
    int javaFiles = 0, jniFunctions = 0, fullJavaFiles = 0, bound = 0, functions = 0;
    for (int i = 0; i < runs; ++i) {
        // genidl reports the imported types it does not resolve; only its
        // time matters here.
        bestGenidl = best(bestGenidl, processMilliseconds({"genidl", typelib}, folder / "genidl"));
        // mivra generate as a user runs it: start-up and the first touch of
        // every page it uses are counted too.
        for (bool full : {false, true}) {
            std::vector<std::string> command{mivra, "generate", "-p", "bench.mshtml", "-i", typelib, "-o", "."};
            if (full) command.insert(command.end(), {"--mapping", "full"});
            fs::path out = folder / (full ? "process-full" : "process");
            fs::create_directories(out);
            double& slot = full ? processFull : processDefault;
            slot = best(slot, processMilliseconds(command, out));
        }
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
                bestDefault = std::min(bestDefault, ms);
                javaFiles = generator.javaFileCount();
                jniFunctions = generator.jniFunctionCount();
            }
        }
    }
    // Where the full mode's time goes: loading, resolving, the class model,
    // the files written, and freeing it all.
    double load = 1e300, resolving = 1e300, modelling = 1e300, writing = 1e300, teardown = 1e300;
    for (int i = 0; i < runs; ++i) {
        fs::path out = folder / "phases";
        fs::create_directories(out);
        auto t0 = Clock::now(), t1 = t0, t2 = t0, t3 = t0, t4 = t0;
        {
            mivra::TypeModel model;
            if (!mivra::loadSource(typelib, model, nullptr, [](const std::string&, const std::string&) {}, false))
                break;
            t1 = Clock::now();
            auto resolved = mivra::resolve(*model.library);
            t2 = Clock::now();
            if (!resolved) break;
            mivra::FullModel full = mivra::buildFullModel(*resolved, {});
            t3 = Clock::now();
            mivra::DiskOutput output(out.string());
            int files = 0;
            mivra::writeFullBindings(output, full, {"bench.mshtml", "bench/mshtml", "Mon Dec 07 12:00:00 2026\n", "/out"},
                                     [](const std::string&, const std::string&) {}, files);
            t4 = Clock::now();
            model.library->release();
        }
        auto t5 = Clock::now();
        auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
        load = std::min(load, ms(t0, t1));
        resolving = std::min(resolving, ms(t1, t2));
        modelling = std::min(modelling, ms(t2, t3));
        writing = std::min(writing, ms(t3, t4));
        teardown = std::min(teardown, ms(t4, t5));
    }
    std::printf("full mode phases  load %.1f ms, resolve %.1f ms, model %.1f ms, files %.1f ms, freeing %.1f ms"
                " (best of %d each)\n",
                load, resolving, modelling, writing, teardown, runs);
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("source            %s\n", typelib.c_str());
    std::printf("in this process (best of %d):\n", runs);
    std::printf("  mivra generate       %.1f ms, %d Java files, %d JNI functions, %.1f MB written\n", bestDefault,
                javaFiles, jniFunctions, folderBytes(folder / "mivra") / 1e6);
    std::printf("  mivra --mapping full %.1f ms, %d Java files, %d of %d functions bound, %.1f MB written\n", bestFull,
                fullJavaFiles, bound, functions, folderBytes(folder / "full") / 1e6);
    std::printf("  full / default       %.2f\n", bestFull / bestDefault);
    std::printf("as processes (best of %d):\n", runs);
    if (processDefault < 1e300 && processFull < 1e300)
        std::printf("  mivra generate       %.1f ms\n  mivra --mapping full %.1f ms\n  full / default       %.2f\n",
                    processDefault, processFull, processFull / processDefault);
    else
        std::printf("  mivra generate       not available (%s)\n", mivra.c_str());
    if (bestGenidl < 1e300)
        std::printf("  genidl               %.1f ms, %.1f MB written\n", bestGenidl, folderBytes(folder / "genidl") / 1e6);
    else
        std::printf("  genidl               not available\n");
    std::printf("peak RSS          %.1f MB\n", usage.ru_maxrss / 1024.0);
    fs::remove_all(folder);
    return 0;
}
