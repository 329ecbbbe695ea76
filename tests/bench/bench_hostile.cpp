// Libraries made to grow the work faster than their size, each generated
// at two sizes (n and 2n); prints the time, the peak memory, the bytes
// written and the ratio of the two times, which stays near 2 while the work
// is linear. Each run has a process of its own, so that its peak is its own.
//
//   build/bin/mivra_bench_hostile [SCALE]
//
// The libraries are compiled from generated IDL with widl and then patched
// where IDL cannot say it (functions sharing one record, unnamed functions);
// the dispatch interfaces come from a reader in memory.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "ByteReader.h"
#include "FileTypeLibraryReader.h"
#include "FullModel.h"
#include "FullWriters.h"
#include "Generator.h"
#include "RawDump.h"
#include "ResolvedLibrary.h"
#include "TypeModel.h"
#include "Writers.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class QuietGenerator : public mivra::Generator {
public:
    void reportError(const std::string&, const std::string&) override {}
};

struct Figures {
    double ms = 0;
    uintmax_t written = 0;
    size_t input = 0;
    long peakKb = 0;
};

// The run's figures, from a child process that does nothing else.
Figures measured(const std::function<Figures()>& run) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        Figures f = run();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        f.peakKb = usage.ru_maxrss;
        ssize_t sent = write(pipeEnds[1], &f, sizeof f);
        _exit(sent == ssize_t(sizeof f) ? 0 : 1);
    }
    close(pipeEnds[1]);
    Figures f;
    if (child < 0 || read(pipeEnds[0], &f, sizeof f) != ssize_t(sizeof f)) f = Figures{};
    close(pipeEnds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return f;
}

fs::path workFolder() {
    static fs::path folder = fs::temp_directory_path() / ("mivra-hostile-" + std::to_string(getpid()));
    return folder;
}

std::string libraryText(const std::string& name, const std::string& body, const std::string& classBody) {
    return "import \"oatypes.idl\";\n[uuid(22222222-0000-0000-0000-000000000000), version(1.0)]\nlibrary " + name +
           " {\n    importlib(\"stdole2.tlb\");\n" + body +
           "    [uuid(22222222-0000-0000-0000-0000000000ff)]\n    coclass C { " + classBody + " };\n};\n";
}

std::string dispinterface(const std::string& name, const std::string& uuid, const std::vector<std::string>& methods) {
    std::string text = "    [uuid(" + uuid + ")]\n    dispinterface " + name + " {\n        properties:\n        methods:\n";
    for (const std::string& m : methods) text += "        " + m + "\n";
    return text + "    };\n";
}

// widl's library for the IDL text, or nothing.
std::vector<std::byte> compile(const std::string& name, const std::string& idl) {
    fs::path source = workFolder() / (name + ".idl"), library = workFolder() / (name + ".tlb");
    std::ofstream(source) << idl;
    pid_t child = fork();
    if (child == 0) {
        if (!freopen("/dev/null", "w", stderr)) _exit(127);
        execlp(MIVRA_WIDL, MIVRA_WIDL, "-I", MIVRA_BENCH_IDL, "-L", MIVRA_BENCH_STDOLE, "-t", "-o", library.c_str(),
               source.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    std::ifstream in(library, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    for (size_t i = 0; i < chars.size(); ++i) bytes[i] = std::byte(static_cast<unsigned char>(chars[i]));
    return bytes;
}

void put32(std::vector<std::byte>& bytes, uint64_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = std::byte(value >> (8 * i) & 0xFF);
}

// The memid/name/offset arrays of type 0's member block, and its member count.
std::pair<uint64_t, uint32_t> memberArrays(const std::vector<std::byte>& bytes) {
    mivra::ByteReader r(bytes);
    uint64_t directory = 0x54 + 4 * uint64_t(r.u32At(0x20)) + ((r.u32At(0x14) & 0x100) ? 4 : 0);
    uint64_t type = r.u32At(directory);
    uint32_t elements = r.u32At(type + 0x18);
    uint64_t block = r.u32At(type + 4);
    return {block + 4 + r.u32At(block), (elements & 0xFFFF) + (elements >> 16)};
}

void save(const std::string& name, const std::vector<std::byte>& bytes) {
    std::ofstream(workFolder() / (name + ".tlb"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::byte> sharedRecord(int n) {
    std::string params;
    for (int p = 0; p < 2000; ++p) params += (p ? ", [in] long a" : "[in] long a") + std::to_string(p);
    std::vector<std::string> methods{"[id(1)] void big(" + params + ");"};
    for (int k = 1; k < n; ++k) methods.push_back("[id(" + std::to_string(k + 1) + ")] void f" + std::to_string(k) + "();");
    auto bytes = compile("shared", libraryText("Shared", dispinterface("DShared", "22222222-0000-0000-0000-000000000001", methods),
                                               "[default] dispinterface DShared;"));
    if (bytes.empty()) return bytes;
    auto [arrays, count] = memberArrays(bytes);
    uint32_t first = mivra::ByteReader(bytes).u32At(arrays + 8 * uint64_t(count));
    for (uint32_t k = 0; k < count; ++k) put32(bytes, arrays + 4 * (2 * uint64_t(count) + k), first);
    return bytes;
}

std::vector<std::byte> optionalSeries(int n) {
    std::string params;
    for (int p = 0; p < n; ++p) params += (p ? ", [in, optional] VARIANT a" : "[in, optional] VARIANT a") + std::to_string(p);
    return compile("optional", libraryText("Opt", dispinterface("DOpt", "22222222-0000-0000-0000-000000000001",
                                                                {"[id(1)] void opt(" + params + ");"}),
                                           "[default] dispinterface DOpt;"));
}

// widl cannot compile more than a few hundred dispatch interfaces, so this
// library is held in memory: n dispatch interfaces, each its own GUID, and
// one class exposing the first.
class ManyInterfaces final : public mivra::TypeLibraryReader {
public:
    explicit ManyInterfaces(uint32_t n) : n_(n) {}
    mivra::Result<bool> load(const std::string&) override { return true; }
    uint32_t typeInfoCount() const override { return n_ + 1; }
    mivra::Result<mivra::TypeAttributes> typeAttributes(uint32_t index) const override {
        mivra::TypeAttributes a;
        a.guid.data1 = index;
        a.guid.data2 = 0x3333;
        a.kind = index < n_ ? mivra::TKIND_DISPATCH : mivra::TKIND_COCLASS;
        a.flags = index < n_ ? mivra::TYPEFLAG_FDUAL : mivra::TYPEFLAG_FCANCREATE;
        a.implTypeCount = 1;
        return a;
    }
    mivra::Result<mivra::ImplementedType> implementedType(uint32_t index, uint32_t) const override {
        if (index < n_) return mivra::fail("no base");
        return mivra::ImplementedType{*typeAttributes(0), 0, std::string("D0")};
    }
    mivra::Result<mivra::Documentation> documentation(int32_t index) const override {
        return mivra::Documentation{index < 0 ? "Many" : (uint32_t(index) < n_ ? "D" + std::to_string(index) : "C"),
                                    std::nullopt};
    }
    mivra::Result<mivra::FunctionDescription> function(uint32_t, uint32_t) const override { return mivra::fail("none"); }
    mivra::Result<std::vector<std::string>> names(uint32_t, int32_t, uint32_t) const override { return mivra::fail("none"); }
    std::optional<std::string> memberDocString(uint32_t, int32_t) const override { return std::nullopt; }
    void release() override {}

private:
    uint32_t n_;
};

Figures modelRun(int n) {
    mivra::TypeModel model;
    model.library = std::make_unique<ManyInterfaces>(static_cast<uint32_t>(n));
    auto start = Clock::now();
    model.build();
    size_t seen = 0;
    for (const mivra::InterfaceRecord* record : model.interfaces.inOrder()) seen += model.lookupInterface(record->iid) != nullptr;
    Figures f;
    f.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    f.written = seen;
    return f;
}

// An interface (not dispatch: its function count is its own) of n
// functions, all but the first without a name.
std::vector<std::byte> unnamedFunctions(int n) {
    std::string methods;
    for (int k = 0; k < n; ++k) methods += "        HRESULT f" + std::to_string(k) + "();\n";
    auto bytes = compile("unnamed", "import \"oatypes.idl\";\n[uuid(22222222-0000-0000-0000-000000000000), version(1.0)]\n"
                                    "library Unnamed {\n    importlib(\"stdole2.tlb\");\n"
                                    "    [object, uuid(22222222-0000-0000-0000-000000000001)]\n"
                                    "    interface IUn : IUnknown {\n" + methods + "    };\n};\n");
    if (bytes.empty()) return bytes;
    auto [arrays, count] = memberArrays(bytes);
    for (uint32_t k = 1; k < count; ++k) put32(bytes, arrays + 4 * (uint64_t(count) + k), 0xFFFFFFFFu);
    return bytes;
}

// n dual interfaces, each deriving from the one before and adding one
// function: the dispatch view of the last holds n functions.
std::vector<std::byte> dualChainOf(int n, bool functions) {
    std::string body;
    for (int k = 0; k < n; ++k) {
        char uuid[40];
        std::snprintf(uuid, sizeof uuid, "22222222-0000-0000-0000-%012x", k + 1);
        body += std::string("    [object, dual, uuid(") + uuid + ")]\n    interface I" + std::to_string(k) + " : " +
                (k ? "I" + std::to_string(k - 1) : std::string("IDispatch")) + " {\n" +
                (functions ? "        HRESULT f" + std::to_string(k) + "();\n" : std::string()) + "    };\n";
    }
    return compile("chain", libraryText("Chain", body, "[default] interface I" + std::to_string(n - 1) + ";"));
}

std::vector<std::byte> dualChain(int n) { return dualChainOf(n, true); }
std::vector<std::byte> dualChainWithout(int n) { return dualChainOf(n, false); }

// n enumerations whose records all name the member block of the first,
// which holds 5,000 constants.
std::vector<std::byte> sharedConstants(int n) {
    std::string body;
    for (int k = 0; k < n; ++k) {
        std::string name = "E" + std::to_string(k);
        body += "    typedef enum " + name + " {";
        for (int c = 0; c < (k ? 1 : 5000); ++c)
            body += (c ? ", " : " ") + name + "_" + std::to_string(c) + " = " + std::to_string(c);
        body += " } " + name + ";\n";
    }
    auto bytes = compile("constants", "import \"oatypes.idl\";\n[uuid(22222222-0000-0000-0000-000000000000), version(1.0)]\n"
                                      "library Constants {\n    importlib(\"stdole2.tlb\");\n" + body + "};\n");
    if (bytes.empty()) return bytes;
    mivra::ByteReader r(bytes);
    uint64_t directory = 0x54 + 4 * uint64_t(r.u32At(0x20)) + ((r.u32At(0x14) & 0x100) ? 4 : 0);
    uint64_t first = r.u32At(directory);
    uint32_t block = r.u32At(first + 4), elements = r.u32At(first + 0x18);
    for (int k = 1; k < n; ++k) {
        put32(bytes, first + 100 * uint64_t(k) + 4, block);
        put32(bytes, first + 100 * uint64_t(k) + 0x18, elements);
    }
    return bytes;
}

// Counts what the writers write and keeps nothing.
class CountingOutput final : public mivra::Output {
public:
    uintmax_t written = 0;
    std::unique_ptr<mivra::OutputSink> open(const std::string&) override { return std::make_unique<Sink>(written); }
    std::string pathOf(const std::string& name) const override { return name; }

private:
    struct Sink final : mivra::OutputSink {
        explicit Sink(uintmax_t& total) : total_(total) {}
        void write(std::string_view text) override { total_ += text.size(); }
        bool close() override { return true; }
        uintmax_t& total_;
    };
};

// As the resolver gives a chain of n dual interfaces, each deriving from
// the one before and adding one function or none (more than widl
// compiles): the dispatch types, whose views share what they inherit, the
// imported IDispatch and the interface halves.
mivra::ResolvedLibrary resolvedDualChain(int n, bool functions) {
    mivra::ResolvedLibrary library;
    library.name = "Chain";
    library.ownTypeCount = uint32_t(n);
    library.types.resize(size_t(2 * n + 1));
    const auto dispatchEntry = int32_t(n);
    mivra::ResolvedType& dispatch = library.types[size_t(dispatchEntry)];
    dispatch.state = mivra::ResolvedType::State::Available;
    dispatch.library = "stdole";
    dispatch.imported = true;
    dispatch.kind = mivra::TKIND_INTERFACE;
    dispatch.name = "IDispatch";
    dispatch.guid = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    const char* names[] = {"QueryInterface", "AddRef", "Release", "GetTypeInfoCount", "GetTypeInfo", "GetIDsOfNames", "Invoke"};
    for (int k = 0; k < n; ++k) {
        mivra::ResolvedType& type = library.types[size_t(k)];
        mivra::ResolvedType& half = library.types[size_t(n + 1 + k)];
        for (mivra::ResolvedType* t : {&type, &half}) {
            t->state = mivra::ResolvedType::State::Available;
            t->index = uint32_t(k);
            t->name = "I" + std::to_string(k);
            t->guid.data1 = uint32_t(k + 1);
            t->guid.data2 = 0x2222;
            t->flags = mivra::TYPEFLAG_FDUAL;
            t->implTypeCount = 1;
        }
        type.kind = mivra::TKIND_DISPATCH;
        type.implemented = {{true, true, dispatchEntry, 0}};
        std::vector<mivra::ResolvedFunction> own;
        for (int f = 0; f < 7; ++f) {
            if (functions && k > 0) break;
            mivra::ResolvedFunction& function = own.emplace_back();
            function.available = true;
            function.memberId = 0x60000000 + f;
            function.invokeKind = 1;
            function.name = names[f];
        }
        if (functions) {
            mivra::ResolvedFunction& function = own.emplace_back();
            function.available = true;
            function.memberId = 0x60020000 + k;
            function.invokeKind = 1;
            function.name = "f" + std::to_string(k);
            function.result.vt = mivra::VT_HRESULT;
        }
        if (functions && k > 0) {
            type.functions = mivra::MemberList<mivra::ResolvedFunction>::after(library.types[size_t(k - 1)].functions,
                                                                               std::move(own));
            type.inheritedView = k - 1;
        } else {
            type.functions = std::move(own);
        }
        type.funcCount = uint16_t(type.functions.size());
        type.dualBase = mivra::ResolvedType::DualBase::Found;
        type.dualBaseType = k ? int32_t(n + k) : dispatchEntry;
        type.interfaceView = int32_t(n + 1 + k);
        half.kind = mivra::TKIND_INTERFACE;
        half.interfaceHalf = true;
        half.implemented = {{true, true, k ? int32_t(n + k) : dispatchEntry, 0}};
    }
    return library;
}

Figures chainModelRun(int n, bool functions) {
    mivra::ResolvedLibrary library = resolvedDualChain(n, functions);
    auto start = Clock::now();
    mivra::FullModel model = mivra::buildFullModel(library, {});
    CountingOutput output;
    mivra::FullWriteInputs inputs;
    inputs.packageName = "bench.hostile";
    int javaFiles = 0;
    mivra::writeFullBindings(output, model, inputs, [](const std::string&, const std::string&) {}, javaFiles);
    Figures f;
    f.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    f.written = output.written;
    return f;
}

Figures generateRun(const std::string& name, const std::vector<std::byte>& bytes, mivra::MappingMode mapping) {
    save(name, bytes);
    fs::path out = workFolder() / ("out-" + name);
    fs::remove_all(out);
    fs::create_directories(out);
    QuietGenerator generator;
    generator.mapping = mapping;
    generator.inputs = {(workFolder() / (name + ".tlb")).string(), out.string(), "bench.hostile", "JBench.dll"};
    auto start = Clock::now();
    generator.run();
    generator.finish();
    Figures f;
    f.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    for (const auto& entry : fs::recursive_directory_iterator(out))
        if (entry.is_regular_file()) f.written += entry.file_size();
    f.input = bytes.size();
    return f;
}

Figures basicRun(const std::string& name, const std::vector<std::byte>& bytes) {
    return generateRun(name, bytes, mivra::MappingMode::Basic);
}

Figures fullRun(const std::string& name, const std::vector<std::byte>& bytes) {
    return generateRun(name, bytes, mivra::MappingMode::Full);
}

Figures resolvedDumpRun(const std::string&, const std::vector<std::byte>& bytes) {
    auto reader = mivra::makeFileTypeLibraryReader();
    Figures f;
    f.input = bytes.size();
    auto start = Clock::now();
    if (!reader->loadBytes(bytes)) return f;
    auto library = mivra::resolve(*reader);
    std::string out;
    mivra::writeResolvedDump(library ? *library : mivra::ResolvedLibrary{}, out);
    f.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    f.written = out.size();
    return f;
}

Figures rawDumpRun(const std::string&, const std::vector<std::byte>& bytes) {
    auto reader = mivra::makeFileTypeLibraryReader();
    Figures f;
    f.input = bytes.size();
    auto start = Clock::now();
    if (!reader->loadBytes(bytes)) return f;
    std::string out;
    mivra::writeRawDump(*reader, out);
    f.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    f.written = out.size();
    return f;
}

void print(const char* what, int n, const Figures& f) {
    std::printf("%-42s n=%-6d %8zu bytes in: %10.1f ms, %8.1f MB peak, %10.2f MB out\n", what, n, f.input, f.ms,
                f.peakKb / 1024.0, f.written / 1e6);
}

void printRatios(const char* what, const Figures (&figures)[2]) {
    std::printf("%-42s twice the size: time x%.2f, peak x%.2f, output x%.2f\n", what,
                figures[1].ms / std::max(figures[0].ms, 0.001),
                double(figures[1].peakKb) / double(std::max(figures[0].peakKb, 1L)),
                double(figures[1].written) / double(std::max<uintmax_t>(figures[0].written, 1)));
}

void report(const char* what, int n, const std::function<std::vector<std::byte>(int)>& make,
            const std::function<Figures(const std::string&, const std::vector<std::byte>&)>& run) {
    Figures figures[2];
    for (int i = 0; i < 2; ++i) {
        auto bytes = make(n << i);
        if (bytes.empty()) {
            std::printf("%-42s widl failed\n", what);
            return;
        }
        figures[i] = measured([&] { return run(what, bytes); });
        print(what, n << i, figures[i]);
    }
    printRatios(what, figures);
}

}  // namespace

int main(int argc, char** argv) {
    int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    fs::create_directories(workFolder());
    report("functions sharing one record", 1500 * scale, sharedRecord, basicRun);
    report("optional-parameter series", 150 * scale, optionalSeries, basicRun);
    report("optional-parameter series, full", 150 * scale, optionalSeries, fullRun);
    report("dual chain, dump --raw --resolved", 200 * scale, dualChain, resolvedDumpRun);
    report("dual chain, full", 200 * scale, dualChain, fullRun);
    report("dual chain without functions, dump --raw --resolved", 200 * scale, dualChainWithout, resolvedDumpRun);
    for (bool functions : {false, true}) {
        const char* what = functions ? "dual chain, full model" : "dual chain without functions, full model";
        Figures chain[2];
        for (int i = 0; i < 2; ++i) {
            chain[i] = measured([&] { return chainModelRun(2000 * scale << i, functions); });
            print(what, 2000 * scale << i, chain[i]);
        }
        printRatios(what, chain);
    }
    report("shared constant block, dump --raw --resolved", 100 * scale, sharedConstants, resolvedDumpRun);
    report("shared constant block, full", 100 * scale, sharedConstants, fullRun);
    Figures model[2];
    for (int i = 0; i < 2; ++i) {
        model[i] = modelRun(16000 * scale << i);
        std::printf("%-34s n=%-6d %10.1f ms, %ju interfaces found again\n", "dispatch interfaces (model, table)",
                    16000 * scale << i, model[i].ms, model[i].written);
    }
    std::printf("%-34s time ratio for twice the size: %.2f\n", "dispatch interfaces (model, table)",
                model[1].ms / std::max(model[0].ms, 0.001));
    report("dump --raw, unnamed functions", 16000 * scale, unnamedFunctions, rawDumpRun);

    for (int i = 0; i < 2; ++i) {
        int n = 20000 * scale << i;
        mivra::ParameterNameTable table;
        auto start = Clock::now();
        for (int k = 0; k < n; ++k) mivra::uniqueParameterName("arg", table);
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::printf("%-34s n=%-6d %10.1f ms, %zu names tried\n", "same-named parameters", n, ms, table.probes);
    }
    fs::remove_all(workFolder());
    return 0;
}
