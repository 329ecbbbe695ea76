#include "FileTypeLibraryReader.h"

#include <filesystem>
#include <fstream>
#include <map>

#include "MsftTypeLibrary.h"
#include "PeResources.h"
#include "StandardOleLibrary.h"

namespace mivra {

namespace {

constexpr int maxChainDepth = 64;
constexpr uint64_t maxFileSize = uint64_t{1} << 31;

Result<std::vector<std::byte>> readFile(const std::string& path) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (error) return fail(path + ": " + error.message());
    if (size > maxFileSize) return fail(path + ": file too large");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(path + ": cannot be opened");
    std::vector<std::byte> bytes(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (static_cast<uint64_t>(in.gcount()) != size) return fail(path + ": cannot be read");
    return bytes;
}

bool startsWith(std::span<const std::byte> bytes, const char (&magic)[5]) {
    if (bytes.size() < 4) return false;
    for (int i = 0; i < 4; ++i)
        if (bytes[i] != std::byte(magic[i])) return false;
    return true;
}

// The type library inside the bytes of a file.
Result<std::span<const std::byte>> typeLibraryBlob(std::span<const std::byte> file, uint32_t resourceId) {
    std::span<const std::byte> blob = file;
    if (looksLikeExecutable(file)) {
        auto resource = findTypeLibResource(file, resourceId);
        if (!resource) return resource.failure();
        blob = *resource;
    }
    if (startsWith(blob, "SLTG")) return fail("type library in the SLTG format, which is not supported");
    if (!startsWith(blob, "MSFT")) return fail("not a type library");
    return blob;
}

// One library file loaded with its bytes.
struct LoadedLibrary {
    std::vector<std::byte> bytes;
    std::unique_ptr<MsftTypeLibrary> library;
};

// How OLE Automation presents a stored type: a dual interface is seen as a
// dispatch interface unless reached as its interface half.
struct View {
    const TypeSource* source = nullptr;
    uint32_t index = 0;
    bool interfaceHalf = false;
};

struct ViewType {
    View view;
    StoredType stored;
    uint32_t kind() const { return view.interfaceHalf ? uint32_t(TKIND_INTERFACE) : stored.kind; }
    bool dual() const { return stored.flags & TYPEFLAG_FDUAL; }
    // Whether OLE Automation keeps a base reference for the type: classes
    // their interface list, dispatch interfaces a stored base, others any.
    bool hasBase() const {
        if (stored.implTypeCount == 0) return false;
        if (stored.kind == TKIND_DISPATCH) return stored.datatype1 != -1;
        return true;
    }
};

class FileReader final : public FileTypeLibraryReader {
public:
    explicit FileReader(std::vector<std::string> searchPath) : searchPath_(std::move(searchPath)) {}

    Result<bool> load(const std::string& fullPath) override;
    Result<bool> loadBytes(std::vector<std::byte> bytes, uint32_t resourceId) override;
    size_t importFilesRead() const override { return filesRead_; }
    uint32_t typeInfoCount() const override { return main_.library ? main_.library->count() : 0; }
    Result<TypeAttributes> typeAttributes(uint32_t index) const override;
    Result<ImplementedType> implementedType(uint32_t index, uint32_t j) const override;
    Result<Documentation> documentation(int32_t index) const override;
    Result<FunctionDescription> function(uint32_t index, uint32_t k) const override;
    Result<std::vector<std::string>> names(uint32_t index, int32_t memberId, uint32_t maxNames) const override;
    std::optional<std::string> memberDocString(uint32_t index, int32_t memberId) const override;
    void release() override;

private:
    Result<ViewType> topLevel(uint32_t index) const;
    Result<ViewType> viewType(const View& view) const;
    Result<TypeAttributes> attributes(const ViewType& t) const;
    Result<std::vector<ViewType>> dispatchChain(const ViewType& t) const;
    Result<int32_t> baseReference(const ViewType& t) const;
    Result<ViewType> follow(const ViewType& from, int32_t reference) const;
    Result<const TypeSource*> resolveImport(const ImportedLibrary& wanted) const;
    const LoadedLibrary* loadImportFile(const std::string& path) const;
    Result<FunctionDescription> dispatchFunction(const ViewType& t, uint32_t k) const;
    Result<std::vector<std::string>> namesIn(const ViewType& t, int32_t memberId, uint32_t maxNames, bool dispatchView,
                                             int depth) const;
    Result<std::optional<std::string>> docIn(const ViewType& t, int32_t memberId, int depth) const;

    std::vector<std::string> searchPath_;
    LoadedLibrary main_;
    // Imported libraries by (GUID, major version), nullptr when not found,
    // and every file read for an import by path, nullptr when it failed.
    mutable std::map<std::pair<std::string, uint16_t>, const TypeSource*> imports_;
    mutable std::map<std::string, std::unique_ptr<LoadedLibrary>> files_;
    mutable size_t filesRead_ = 0;
    // Base chains of the library's own dispatch interfaces, by type index.
    mutable std::map<uint32_t, Result<std::vector<ViewType>>> chains_;
};

Result<bool> FileReader::load(const std::string& fullPath) {
    release();
    uint32_t resourceId = 1;
    std::string path = fullPath;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        // "file\N" names resource N of the file.
        size_t slash = path.rfind('\\');
        if (slash != std::string::npos && slash > 0 && slash + 1 < path.size() && path.size() - slash <= 10 &&
            path.find_first_not_of("0123456789", slash + 1) == std::string::npos) {
            resourceId = static_cast<uint32_t>(std::stoul(path.substr(slash + 1)));
            path.resize(slash);
        }
    }
    auto bytes = readFile(path);
    if (!bytes) return bytes.failure();
    return loadBytes(std::move(*bytes), resourceId);
}

Result<bool> FileReader::loadBytes(std::vector<std::byte> bytes, uint32_t resourceId) {
    release();
    LoadedLibrary loaded;
    loaded.bytes = std::move(bytes);
    auto blob = typeLibraryBlob(loaded.bytes, resourceId);
    if (!blob) return blob.failure();
    auto library = MsftTypeLibrary::open(*blob, [this](const ImportedLibrary& l) { return resolveImport(l); });
    if (!library) return library.failure();
    loaded.library = std::move(*library);
    main_ = std::move(loaded);
    return true;
}

void FileReader::release() {
    chains_.clear();
    main_ = LoadedLibrary{};
    imports_.clear();
    files_.clear();
    filesRead_ = 0;
}

// The file an import record names, as a plain file name: its folder part is
// dropped, so an import is only ever looked for in the search folders.
std::optional<std::string> importFileName(const std::string& recorded) {
    size_t start = recorded.find_last_of("/\\:");
    std::string name = start == std::string::npos ? recorded : recorded.substr(start + 1);
    if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos) return std::nullopt;
    return name;
}

const LoadedLibrary* FileReader::loadImportFile(const std::string& path) const {
    auto cached = files_.find(path);
    if (cached != files_.end()) return cached->second.get();
    std::unique_ptr<LoadedLibrary> loaded;
    ++filesRead_;
    if (auto bytes = readFile(path)) {
        loaded = std::make_unique<LoadedLibrary>();
        loaded->bytes = std::move(*bytes);
        auto blob = typeLibraryBlob(loaded->bytes, 1);
        auto library = blob ? MsftTypeLibrary::open(*blob, [this](const ImportedLibrary& l) { return resolveImport(l); })
                            : Result<std::unique_ptr<MsftTypeLibrary>>(blob.failure());
        if (library)
            loaded->library = std::move(*library);
        else
            loaded.reset();
    }
    // A file that failed is remembered too, so it is read once a run.
    return files_.emplace(path, std::move(loaded)).first->second.get();
}

Result<const TypeSource*> FileReader::resolveImport(const ImportedLibrary& wanted) const {
    auto key = std::make_pair(guidText(wanted.guid), wanted.major);
    auto cached = imports_.find(key);
    if (cached == imports_.end()) {
        const TypeSource* found = nullptr;
        auto fileName = importFileName(wanted.fileName);
        for (const std::string& entry : searchPath_) {
            std::error_code error;
            std::filesystem::path candidate = entry;
            if (std::filesystem::is_directory(candidate, error)) {
                if (!fileName) continue;
                candidate /= *fileName;
            }
            const LoadedLibrary* loaded = loadImportFile(candidate.string());
            if (!loaded || !(loaded->library->libraryGuid() == wanted.guid)) continue;
            found = loaded->library.get();
            break;
        }
        cached = imports_.emplace(key, found).first;
    }
    if (cached->second) return cached->second;
    if (wanted.guid == standardOleLibraryGuid) return &standardOleLibrary();
    return fail("imported library " + wanted.fileName + " " + guidText(wanted.guid) + " not found");
}

Result<ViewType> FileReader::viewType(const View& view) const {
    auto stored = view.source->type(view.index);
    if (!stored) return stored.failure();
    return ViewType{view, *stored};
}

Result<ViewType> FileReader::topLevel(uint32_t index) const {
    if (!main_.library) return fail("no library loaded", Failure::Step::TypeInfo);
    if (index >= main_.library->count())
        return fail("no type " + std::to_string(index), Failure::Step::TypeInfo);
    auto t = viewType(View{main_.library.get(), index, false});
    if (!t) return fail(t.failure().message, Failure::Step::TypeInfo);
    return t;
}

Result<TypeAttributes> FileReader::attributes(const ViewType& t) const {
    TypeAttributes a;
    a.guid = t.stored.guid;
    a.kind = t.kind();
    a.flags = t.stored.flags;
    a.implTypeCount = t.stored.implTypeCount;
    a.funcCount = t.stored.funcCount;
    a.varCount = t.stored.varCount;
    if (a.kind == TKIND_DISPATCH) {
        // A dispatch interface counts every function of its dispatch view,
        // inherited ones included, which its stored vtable size gives.
        a.funcCount = static_cast<uint16_t>(t.stored.vtableSize / t.view.source->pointerSize());
        a.flags &= static_cast<uint16_t>(~TYPEFLAG_FOLEAUTOMATION);
        // When the chain can be followed, its functions must be the ones the
        // vtable size counts; a chain that cannot be followed leaves every
        // function unavailable, as OLE Automation does.
        if (auto chain = dispatchChain(t)) {
            uint64_t total = 0;
            for (const ViewType& level : *chain) total += level.stored.funcCount;
            if (total != a.funcCount)
                return fail("type " + std::to_string(t.view.index) + ": vtable size counts " + std::to_string(a.funcCount) +
                                " functions, its interfaces hold " + std::to_string(total),
                            Failure::Step::Attributes);
        }
    }
    return a;
}

Result<int32_t> FileReader::baseReference(const ViewType& t) const {
    if (t.stored.kind == TKIND_COCLASS) {
        auto first = t.view.source->classInterface(t.view.index, 0);
        if (!first) return first.failure();
        return first->first;
    }
    return t.stored.datatype1;
}

Result<ViewType> FileReader::follow(const ViewType& from, int32_t reference) const {
    if (reference < 0) {
        // The other half of a dual interface.
        if (!from.dual() || (from.kind() != TKIND_INTERFACE && from.kind() != TKIND_DISPATCH))
            return fail("reference " + std::to_string(reference) + " names no type");
        View other = from.view;
        if (from.stored.kind == TKIND_DISPATCH) other.interfaceHalf = !other.interfaceHalf;
        return ViewType{other, from.stored};
    }
    auto location = from.view.source->resolve(reference);
    if (!location) return location.failure();
    auto target = viewType(View{location->source, location->index, false});
    if (!target) return target.failure();
    if ((reference & 2) && target->dual() && target->stored.kind == TKIND_DISPATCH) target->view.interfaceHalf = true;
    return target;
}

Result<TypeAttributes> FileReader::typeAttributes(uint32_t index) const {
    auto t = topLevel(index);
    if (!t) return t.failure();
    return attributes(*t);
}

Result<ImplementedType> FileReader::implementedType(uint32_t index, uint32_t j) const {
    auto t = topLevel(index);
    if (!t) return fail(t.failure().message);
    int32_t reference, implFlags = 0;
    if (j == 0 && t->kind() == TKIND_DISPATCH) {
        // Every dispatch interface is presented as implementing IDispatch.
        reference = t->view.source->dispatchReference();
    } else if (j >= t->stored.implTypeCount) {
        return fail("type " + std::to_string(index) + " has no implemented type " + std::to_string(j));
    } else if (t->stored.kind == TKIND_COCLASS) {
        auto entry = t->view.source->classInterface(index, j);
        if (!entry) return entry.failure();
        reference = entry->first;
        implFlags = entry->second;
    } else if (j == 0 && t->hasBase()) {
        reference = t->stored.datatype1;
        if (t->kind() == TKIND_INTERFACE) reference |= 2;
    } else {
        return fail("type " + std::to_string(index) + " has no implemented type " + std::to_string(j));
    }
    auto target = follow(*t, reference);
    if (!target) return target.failure();
    auto targetAttributes = attributes(*target);
    if (!targetAttributes) return fail(targetAttributes.failure().message, Failure::Step::Attributes);
    ImplementedType implemented;
    implemented.attributes = *targetAttributes;
    implemented.implFlags = implFlags;
    if (auto doc = target->view.source->documentation(static_cast<int32_t>(target->view.index)))
        implemented.name = doc->name;
    return implemented;
}

Result<Documentation> FileReader::documentation(int32_t index) const {
    if (!main_.library) return fail("no library loaded");
    return main_.library->documentation(index);
}

FunctionDescription describe(StoredFunction stored) {
    FunctionDescription f;
    f.memberId = stored.memberId;
    f.invokeKind = stored.invokeKind;
    f.paramCount = static_cast<int16_t>(stored.params.size());
    f.optionalParamCount = stored.optionalParamCount;
    f.result = std::move(stored.result);
    f.params.reserve(stored.params.size());
    for (StoredParameter& p : stored.params) f.params.push_back(ParameterDescription{std::move(p.type), p.flags});
    return f;
}

Result<std::vector<ViewType>> FileReader::dispatchChain(const ViewType& t) const {
    bool own = t.view.source == main_.library.get() && !t.view.interfaceHalf;
    if (own) {
        auto cached = chains_.find(t.view.index);
        if (cached != chains_.end()) return cached->second;
    }
    // The dispatch view lists the functions of the whole base chain, root
    // first, then the type's own.
    auto make = [&]() -> Result<std::vector<ViewType>> {
        std::vector<ViewType> chain{t};
        while (chain.back().hasBase()) {
            if (chain.size() > maxChainDepth) return fail("base interfaces nested too deeply (a cycle?)");
            auto reference = baseReference(chain.back());
            if (!reference) return reference.failure();
            auto base = follow(chain.back(), *reference);
            if (!base) return fail("base interface of type " + std::to_string(t.view.index) + ": " + base.failure().message);
            chain.push_back(*base);
        }
        return chain;
    };
    auto chain = make();
    if (own) chains_.emplace(t.view.index, chain);
    return chain;
}

Result<FunctionDescription> FileReader::dispatchFunction(const ViewType& t, uint32_t k) const {
    auto found = dispatchChain(t);
    if (!found) return found.failure();
    const std::vector<ViewType>& chain = *found;
    uint64_t position = k;
    for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
        if (position >= level->stored.funcCount) {
            position -= level->stored.funcCount;
            continue;
        }
        auto stored = level->view.source->function(level->view.index, static_cast<uint32_t>(position));
        if (!stored) return stored.failure();
        if (stored->defaultUncopyable) return fail("function " + std::to_string(k) + ": default value of a type that cannot be copied");
        if (stored->funcKind != FUNC_DISPATCH) {
            // Vtable form seen through IDispatch: the [retval] parameter
            // becomes the result, an HRESULT result disappears, and a
            // trailing [lcid] parameter is supplied by Invoke.
            auto& params = stored->params;
            if (!params.empty() && (params.back().flags & PARAMFLAG_FRETVAL)) {
                if (params.back().type.vt != 26 || !params.back().type.pointee)
                    return fail("function " + std::to_string(k) + ": [retval] parameter is not a pointer");
                stored->result = *params.back().type.pointee;
                params.pop_back();
            } else if (stored->result.vt == 25) {
                stored->result = TypeDescription{24, nullptr};
            }
            if (!params.empty() && (params.back().flags & PARAMFLAG_FLCID)) params.pop_back();
        }
        return describe(std::move(*stored));
    }
    return fail("no function " + std::to_string(k) + " in the dispatch view of type " + std::to_string(t.view.index));
}

Result<FunctionDescription> FileReader::function(uint32_t index, uint32_t k) const {
    auto t = topLevel(index);
    if (!t) return fail(t.failure().message);
    if (t->kind() == TKIND_DISPATCH) return dispatchFunction(*t, k);
    if (k >= t->stored.funcCount) return fail("type " + std::to_string(index) + " has no function " + std::to_string(k));
    auto stored = t->view.source->function(index, k);
    if (!stored) return stored.failure();
    if (stored->defaultUncopyable) return fail("function " + std::to_string(k) + ": default value of a type that cannot be copied");
    return describe(std::move(*stored));
}

// Names asked through a dispatch interface leave out the [retval] and
// [lcid] parameters of functions in vtable form, also of those found in its
// base interfaces, as the dispatch view of the function does.
Result<std::vector<std::string>> FileReader::namesIn(const ViewType& t, int32_t memberId, uint32_t maxNames,
                                                     bool dispatchView, int depth) const {
    if (depth > maxChainDepth) return fail("base interfaces nested too deeply (a cycle?)");
    auto member = t.view.source->findMember(t.view.index, memberId);
    if (!member) return member.failure();
    if (*member && **member < t.stored.funcCount) {
        auto f = t.view.source->function(t.view.index, **member);
        if (!f) return f.failure();
        std::vector<std::string> names;
        if (maxNames == 0 || !f->name) return names;
        names.push_back(*f->name);
        size_t params = f->params.size();
        if (dispatchView && f->funcKind != FUNC_DISPATCH) {
            if (params > 0 && (f->params[params - 1].flags & PARAMFLAG_FRETVAL)) --params;
            if (params > 0 && (f->params[params - 1].flags & PARAMFLAG_FLCID)) --params;
        }
        for (size_t p = 0; p < params && names.size() < maxNames && f->params[p].name; ++p)
            names.push_back(*f->params[p].name);
        return names;
    }
    if (*member) {
        auto var = t.view.source->variable(t.view.index, **member - t.stored.funcCount);
        if (!var) return var.failure();
        std::vector<std::string> names;
        if (var->name) names.push_back(*var->name);
        return names;
    }
    if (t.hasBase() && (t.kind() == TKIND_INTERFACE || t.kind() == TKIND_DISPATCH)) {
        auto base = follow(t, t.stored.datatype1);
        if (!base) return base.failure();
        return namesIn(*base, memberId, maxNames, dispatchView, depth + 1);
    }
    return fail("no member " + std::to_string(memberId));
}

Result<std::vector<std::string>> FileReader::names(uint32_t index, int32_t memberId, uint32_t maxNames) const {
    auto t = topLevel(index);
    if (!t) return fail(t.failure().message);
    return namesIn(*t, memberId, maxNames, t->kind() == TKIND_DISPATCH, 0);
}

Result<std::optional<std::string>> FileReader::docIn(const ViewType& t, int32_t memberId, int depth) const {
    if (depth > maxChainDepth) return fail("base interfaces nested too deeply (a cycle?)");
    if (memberId == -1) {
        auto doc = t.view.source->documentation(static_cast<int32_t>(t.view.index));
        if (!doc) return doc.failure();
        return doc->docString;
    }
    auto member = t.view.source->findMember(t.view.index, memberId);
    if (!member) return member.failure();
    if (*member) {
        if (**member < t.stored.funcCount) {
            auto f = t.view.source->function(t.view.index, **member);
            if (!f) return f.failure();
            return f->docString;
        }
        auto var = t.view.source->variable(t.view.index, **member - t.stored.funcCount);
        if (!var) return var.failure();
        return var->docString;
    }
    if (t.hasBase() && (t.kind() == TKIND_INTERFACE || t.kind() == TKIND_DISPATCH)) {
        auto base = follow(t, t.stored.datatype1);
        if (!base) return base.failure();
        return docIn(*base, memberId, depth + 1);
    }
    return fail("no member " + std::to_string(memberId));
}

std::optional<std::string> FileReader::memberDocString(uint32_t index, int32_t memberId) const {
    auto t = topLevel(index);
    if (!t) return std::nullopt;
    auto doc = docIn(*t, memberId, 0);
    if (!doc) return std::nullopt;
    return *doc;
}

}  // namespace

std::unique_ptr<FileTypeLibraryReader> makeFileTypeLibraryReader(std::vector<std::string> searchPath) {
    return std::make_unique<FileReader>(std::move(searchPath));
}

}  // namespace mivra
