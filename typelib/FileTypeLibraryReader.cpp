#include "FileTypeLibraryReader.h"

#include <array>
#include <filesystem>
#include <map>
#include <tuple>

#include "ByteSource.h"
#include "MsftTypeLibrary.h"
#include "PeResources.h"
#include "SltgTypeLibrary.h"
#include "StandardOleLibrary.h"
#include "VarType.h"

namespace mivra {

namespace {

constexpr int maxChainDepth = 64;
constexpr uint64_t maxFileSize = uint64_t{1} << 31;
// TYPELIB resources of one file tried for an import whose file gave another
// library: files with a few are common, with more than this unheard of.
constexpr uint32_t maxImportResources = 16;

Result<std::unique_ptr<FileByteSource>> openFile(const std::string& path) {
    return FileByteSource::open(path, maxFileSize);
}

bool startsWith(std::span<const std::byte> bytes, const char (&magic)[5]) {
    if (bytes.size() < 4) return false;
    for (int i = 0; i < 4; ++i)
        if (bytes[i] != std::byte(magic[i])) return false;
    return true;
}

// The type library inside the bytes of a file.
Result<std::span<const std::byte>> typeLibraryBlob(std::span<const std::byte> file, uint32_t resourceId) {
    if (looksLikeExecutable(file)) return findTypeLibResource(file, resourceId);
    return file;
}

// The type library of a file: a library file whole, of an executable only
// its TYPELIB resource.
Result<std::vector<std::byte>> readTypeLibrary(const ByteSource& file, uint32_t resourceId) {
    if (looksLikeExecutable(file)) return readTypeLibResource(file, resourceId);
    return file.copy(0, file.size());
}

Result<std::vector<std::byte>> readTypeLibrary(const std::string& path, uint32_t resourceId) {
    auto file = openFile(path);
    if (!file) return file.failure();
    return readTypeLibrary(**file, resourceId);
}

// The library in either format; an SLTG library that does not read says so
// by its format's name.
Result<std::unique_ptr<TypeSource>> openLibrary(std::span<const std::byte> blob, ImportResolver resolveImport) {
    if (!startsWith(blob, "MSFT") && !startsWith(blob, "SLTG")) return fail("not a type library");
    if (startsWith(blob, "SLTG")) {
        auto library = SltgTypeLibrary::open(blob, std::move(resolveImport));
        if (!library) return fail(std::string(sltgFormatFailure) + ": " + library.failure().message);
        return std::unique_ptr<TypeSource>(std::move(*library));
    }
    auto library = MsftTypeLibrary::open(blob, std::move(resolveImport));
    if (!library) return library.failure();
    return std::unique_ptr<TypeSource>(std::move(*library));
}

// One library file loaded with its bytes.
struct LoadedLibrary {
    std::vector<std::byte> bytes;
    std::unique_ptr<TypeSource> library;
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

// A file read for imports: a library file's bytes, or for an executable
// only its path, its TYPELIB resources being read as they are asked for;
// and the libraries opened so far, by resource number (no library: none
// there).
struct ImportFile {
    std::string path;
    bool executable = false;
    std::vector<std::byte> bytes;
    std::map<uint32_t, LoadedLibrary> libraries;
};

class FileReader final : public FileTypeLibraryReader {
public:
    FileReader(std::vector<std::string> searchPath, RegisteredLibraryLookup registered)
        : searchPath_(std::move(searchPath)), registered_(std::move(registered)) {}

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

    Result<VariableDescription> variable(uint32_t index, uint32_t k) const override;
    Result<TypeHandle> typeHandle(uint32_t index) const override;
    Result<TypeHandle> referencedType(TypeHandle from, int32_t reference) const override;
    Result<ImplementedTypeHandle> implementedTypeOf(TypeHandle of, int32_t j) const override;
    Result<TypeAttributes> attributesOf(TypeHandle type) const override;
    Result<Documentation> documentationOf(TypeHandle type) const override;
    Result<TypeOrigin> originOf(TypeHandle type) const override;
    Result<TypeDescription> aliasOf(TypeHandle type) const override;
    std::optional<uint64_t> memberBlockOf(uint32_t index) const override;
    std::optional<uint32_t> inheritedViewOf(uint32_t index) const override;

private:
    // Takes `bytes` and opens the library in their part `blob`.
    Result<bool> loadBlob(std::vector<std::byte> bytes, std::span<const std::byte> blob);
    bool referencesStayPut(uint32_t index) const;
    Result<ViewType> topLevel(uint32_t index) const;
    Result<ViewType> viewType(const View& view) const;
    Result<TypeAttributes> attributes(const ViewType& t) const;
    const Result<std::vector<ViewType>>& dispatchChain(const ViewType& t) const;
    Result<int32_t> baseReference(const ViewType& t) const;
    Result<ViewType> follow(const ViewType& from, int32_t reference) const;
    Result<const TypeSource*> resolveImport(const ImportedLibrary& wanted) const;
    ImportFile* importFile(const std::string& path) const;
    const TypeSource* importLibrary(ImportFile& file, uint32_t resourceId) const;
    Result<FunctionDescription> dispatchFunction(const ViewType& t, uint32_t k) const;
    Result<const StoredFunction*> storedFunction(const TypeSource* source, uint32_t index, uint32_t k) const;
    Result<std::vector<std::string>> namesIn(const ViewType& t, int32_t memberId, uint32_t maxNames, bool dispatchView,
                                             int depth) const;
    Result<std::optional<std::string>> docIn(const ViewType& t, int32_t memberId, int depth) const;
    // GetRefTypeOfImplType(j) and GetRefTypeInfo: the type and its flags.
    Result<std::pair<ViewType, int32_t>> implementedIn(const ViewType& t, int32_t j) const;
    TypeHandle handleOf(const View& view) const;
    Result<ViewType> viewOf(TypeHandle handle) const;

    std::vector<std::string> searchPath_;
    RegisteredLibraryLookup registered_;
    LoadedLibrary main_;
    // Imported libraries by (GUID, major version), nullptr when not found,
    // and every file read for an import by path, nullptr when it failed.
    mutable std::map<std::pair<std::string, uint16_t>, const TypeSource*> imports_;
    mutable std::map<std::string, std::unique_ptr<ImportFile>> files_;
    mutable size_t filesRead_ = 0;
    // Base chains of the dispatch views asked for, by view.
    mutable std::map<std::tuple<const TypeSource*, uint32_t, bool>, Result<std::vector<ViewType>>> chains_;
    // The views handed out as handles, one handle per view.
    mutable std::vector<View> handles_;
    mutable std::map<std::tuple<const TypeSource*, uint32_t, bool>, uint32_t> handleOfView_;
    // Own types whose functions' references resolve alike in their own
    // dispatch view and in a derived one's, by type index.
    mutable std::map<uint32_t, bool> referencesStayPut_;
    // The functions decoded last: a function's description, names and doc
    // string are asked for in a row, and each would decode it again. Names
    // and doc strings are found by member id, which a property's get and put
    // share: a few entries keep both.
    struct DecodedFunction {
        const TypeSource* source = nullptr;
        uint32_t index = 0;
        uint32_t k = 0;
        std::optional<StoredFunction> function;
    };
    mutable std::array<DecodedFunction, 4> decoded_;
    mutable size_t nextDecoded_ = 0;
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
    auto bytes = readTypeLibrary(path, resourceId);
    if (!bytes) return bytes.failure();
    std::span<const std::byte> blob = *bytes;
    return loadBlob(std::move(*bytes), blob);
}

Result<bool> FileReader::loadBytes(std::vector<std::byte> bytes, uint32_t resourceId) {
    release();
    auto blob = typeLibraryBlob(bytes, resourceId);
    if (!blob) return blob.failure();
    return loadBlob(std::move(bytes), *blob);
}

Result<bool> FileReader::loadBlob(std::vector<std::byte> bytes, std::span<const std::byte> blob) {
    LoadedLibrary loaded;
    loaded.bytes = std::move(bytes);
    auto library = openLibrary(blob, [this](const ImportedLibrary& l) { return resolveImport(l); });
    if (!library) return library.failure();
    loaded.library = std::move(*library);
    main_ = std::move(loaded);
    return true;
}

void FileReader::release() {
    decoded_ = {};
    nextDecoded_ = 0;
    chains_.clear();
    referencesStayPut_.clear();
    handles_.clear();
    handleOfView_.clear();
    main_ = LoadedLibrary{};
    imports_.clear();
    files_.clear();
    filesRead_ = 0;
}

// The file an import record names, as a plain file name and the TYPELIB
// resource it names ("FILE.DLL\\2"): its folder part is dropped, so an
// import is only ever looked for in the places the reader is given.
std::optional<std::pair<std::string, uint32_t>> importFileName(std::string recorded) {
    uint32_t resourceId = 1;
    size_t slash = recorded.rfind('\\');
    if (slash != std::string::npos && slash > 0 && recorded.size() - slash >= 2 && recorded.size() - slash <= 6 &&
        recorded.find_first_not_of("0123456789", slash + 1) == std::string::npos) {
        resourceId = static_cast<uint32_t>(std::stoul(recorded.substr(slash + 1)));
        recorded.resize(slash);
    }
    size_t start = recorded.find_last_of("/\\:");
    std::string name = start == std::string::npos ? recorded : recorded.substr(start + 1);
    if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos || resourceId == 0)
        return std::nullopt;
    return std::make_pair(name, resourceId);
}

ImportFile* FileReader::importFile(const std::string& path) const {
    auto cached = files_.find(path);
    if (cached != files_.end()) return cached->second.get();
    std::unique_ptr<ImportFile> file;
    ++filesRead_;
    if (auto source = openFile(path)) {
        file = std::make_unique<ImportFile>();
        file->path = path;
        file->executable = looksLikeExecutable(**source);
        if (!file->executable) {
            auto bytes = (*source)->copy(0, (*source)->size());
            if (bytes)
                file->bytes = std::move(*bytes);
            else
                file.reset();
        }
    }
    // A file that failed is remembered too, so it is read once a run.
    return files_.emplace(path, std::move(file)).first->second.get();
}

const TypeSource* FileReader::importLibrary(ImportFile& file, uint32_t resourceId) const {
    auto cached = file.libraries.find(resourceId);
    if (cached != file.libraries.end()) return cached->second.library.get();
    LoadedLibrary opened;
    auto open = [&](std::span<const std::byte> blob) {
        auto library = openLibrary(blob, [this](const ImportedLibrary& l) { return resolveImport(l); });
        if (library) opened.library = std::move(*library);
    };
    // An executable is opened again for each resource asked for, so that no
    // file stays open for the rest of the run.
    if (!file.executable) {
        open(file.bytes);
    } else if (auto bytes = readTypeLibrary(file.path, resourceId)) {
        opened.bytes = std::move(*bytes);
        open(opened.bytes);
    }
    return file.libraries.emplace(resourceId, std::move(opened)).first->second.library.get();
}

Result<const TypeSource*> FileReader::resolveImport(const ImportedLibrary& wanted) const {
    auto key = std::make_pair(guidText(wanted.guid), wanted.major);
    auto cached = imports_.find(key);
    if (cached == imports_.end()) {
        const TypeSource* found = nullptr;
        auto named = importFileName(wanted.fileName);
        // The files looked at, for the last step: another of their TYPELIB
        // resources may hold the library.
        std::vector<ImportFile*> looked;
        auto tryFile = [&](const std::string& path, uint32_t resourceId) {
            ImportFile* file = importFile(path);
            if (!file) return false;
            looked.push_back(file);
            const TypeSource* library = importLibrary(*file, resourceId);
            if (!library || !(library->libraryGuid() == wanted.guid)) return false;
            found = library;
            return true;
        };
        // The library's folder and the search folders, by the plain name.
        for (const std::string& entry : searchPath_) {
            std::error_code error;
            std::filesystem::path candidate = entry;
            uint32_t resourceId = 1;
            if (std::filesystem::is_directory(candidate, error)) {
                if (!named) continue;
                candidate /= named->first;
                resourceId = named->second;
            }
            if (tryFile(candidate.string(), resourceId)) break;
        }
        // Then where the registry has the library registered; the standard
        // library, built in, needs no registry.
        if (!found && registered_ && !(wanted.guid == standardOleLibraryGuid)) {
            if (auto path = registered_(wanted.guid, wanted.major, wanted.minor)) {
                uint32_t resourceId = 1;
                std::string file = *path;
                std::error_code error;
                if (!std::filesystem::is_regular_file(file, error)) {
                    size_t slash = file.rfind('\\');
                    if (slash != std::string::npos && slash > 0 && file.size() - slash >= 2 && file.size() - slash <= 6 &&
                        file.find_first_not_of("0123456789", slash + 1) == std::string::npos) {
                        resourceId = static_cast<uint32_t>(std::stoul(file.substr(slash + 1)));
                        file.resize(slash);
                    }
                }
                tryFile(file, resourceId);
            }
        }
        // Then the other TYPELIB resources of the executables looked at.
        for (size_t f = 0; !found && f < looked.size(); ++f) {
            if (!looked[f]->executable) continue;
            for (uint32_t id = 1; id <= maxImportResources && !found; ++id) {
                const TypeSource* library = importLibrary(*looked[f], id);
                if (library && library->libraryGuid() == wanted.guid) found = library;
            }
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
        // When the chain can be followed, it must describe at least the
        // functions the vtable size counts. Some compilers declare vtables
        // far larger than what they describe; OLE Automation then counts
        // every slot and reports those past the chain as unavailable. A
        // chain that cannot be followed leaves every function unavailable.
        if (const auto& chain = dispatchChain(t)) {
            uint64_t total = 0;
            for (const ViewType& level : *chain) total += level.stored.funcCount;
            if (total > a.funcCount)
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

Result<std::pair<ViewType, int32_t>> FileReader::implementedIn(const ViewType& t, int32_t j) const {
    int32_t reference, implFlags = 0;
    std::string which = "type " + std::to_string(t.view.index);
    if (j == -1) {
        // The other view of a dual interface.
        reference = -2;
    } else if (j == 0 && t.kind() == TKIND_DISPATCH) {
        // Every dispatch interface is presented as implementing IDispatch.
        reference = t.view.source->dispatchReference();
    } else if (j < 0 || uint32_t(j) >= t.stored.implTypeCount) {
        return fail(which + " has no implemented type " + std::to_string(j));
    } else if (t.stored.kind == TKIND_COCLASS) {
        auto entry = t.view.source->classInterface(t.view.index, uint32_t(j));
        if (!entry) return entry.failure();
        reference = entry->first;
        implFlags = entry->second;
    } else if (j == 0 && t.hasBase()) {
        reference = t.stored.datatype1;
        if (t.kind() == TKIND_INTERFACE) reference |= 2;
    } else {
        return fail(which + " has no implemented type " + std::to_string(j));
    }
    auto target = follow(t, reference);
    if (!target) return target.failure();
    return std::pair<ViewType, int32_t>(*target, implFlags);
}

Result<ImplementedType> FileReader::implementedType(uint32_t index, uint32_t j) const {
    auto t = topLevel(index);
    if (!t) return fail(t.failure().message);
    auto target = implementedIn(*t, static_cast<int32_t>(j));
    if (!target) return target.failure();
    auto targetAttributes = attributes(target->first);
    if (!targetAttributes) return fail(targetAttributes.failure().message, Failure::Step::Attributes);
    ImplementedType implemented;
    implemented.attributes = *targetAttributes;
    implemented.implFlags = target->second;
    if (auto doc = target->first.view.source->documentation(static_cast<int32_t>(target->first.view.index)))
        implemented.name = doc->name;
    return implemented;
}

TypeHandle FileReader::handleOf(const View& view) const {
    auto key = std::make_tuple(view.source, view.index, view.interfaceHalf);
    auto found = handleOfView_.find(key);
    if (found != handleOfView_.end()) return TypeHandle{found->second};
    uint32_t id = static_cast<uint32_t>(handles_.size());
    handles_.push_back(view);
    handleOfView_.emplace(key, id);
    return TypeHandle{id};
}

Result<ViewType> FileReader::viewOf(TypeHandle handle) const {
    if (handle.id >= handles_.size()) return fail("no type information object " + std::to_string(handle.id));
    return viewType(handles_[handle.id]);
}

Result<TypeHandle> FileReader::typeHandle(uint32_t index) const {
    auto t = topLevel(index);
    if (!t) return t.failure();
    return handleOf(t->view);
}

// References in functions that a dispatch view inherits belong to the
// interface they came from; dispatchFunction marks them with that
// interface's level in the chain, in the top byte, as OLE Automation does.
constexpr int32_t inheritedLevelStep = 0x01000000;

Result<TypeHandle> FileReader::referencedType(TypeHandle from, int32_t reference) const {
    auto t = viewOf(from);
    if (!t) return t.failure();
    ViewType level = *t;
    if (reference >= inheritedLevelStep && t->kind() == TKIND_DISPATCH) {
        const auto& chain = dispatchChain(*t);
        if (!chain) return chain.failure();
        size_t depth = size_t(reference / inheritedLevelStep);
        if (depth >= chain->size()) return fail("reference " + hexText(uint32_t(reference)) + " names no inherited level");
        level = (*chain)[depth];
        reference %= inheritedLevelStep;
    }
    auto target = follow(level, reference);
    if (!target) return target.failure();
    return handleOf(target->view);
}

Result<ImplementedTypeHandle> FileReader::implementedTypeOf(TypeHandle of, int32_t j) const {
    auto t = viewOf(of);
    if (!t) return t.failure();
    auto target = implementedIn(*t, j);
    if (!target) return target.failure();
    return ImplementedTypeHandle{handleOf(target->first.view), target->second};
}

Result<TypeAttributes> FileReader::attributesOf(TypeHandle type) const {
    auto t = viewOf(type);
    if (!t) return fail(t.failure().message, Failure::Step::Attributes);
    auto a = attributes(*t);
    if (!a) return fail(a.failure().message, Failure::Step::Attributes);
    return a;
}

Result<Documentation> FileReader::documentationOf(TypeHandle type) const {
    if (type.id >= handles_.size()) return fail("no type information object " + std::to_string(type.id));
    const View& view = handles_[type.id];
    return view.source->documentation(static_cast<int32_t>(view.index));
}

Result<TypeOrigin> FileReader::originOf(TypeHandle type) const {
    if (type.id >= handles_.size() || !main_.library) return fail("no type information object " + std::to_string(type.id));
    const View& view = handles_[type.id];
    TypeOrigin origin;
    origin.own = view.source == main_.library.get() || view.source->libraryGuid() == main_.library->libraryGuid();
    origin.index = view.index;
    if (auto doc = view.source->documentation(-1)) origin.library = doc->name;
    return origin;
}

Result<TypeDescription> FileReader::aliasOf(TypeHandle type) const {
    if (type.id >= handles_.size()) return fail("no type information object " + std::to_string(type.id));
    const View& view = handles_[type.id];
    return view.source->aliasType(view.index);
}

Result<Documentation> FileReader::documentation(int32_t index) const {
    if (!main_.library) return fail("no library loaded");
    return main_.library->documentation(index);
}

FunctionDescription describe(const StoredFunction& stored) {
    FunctionDescription f;
    f.memberId = stored.memberId;
    f.invokeKind = stored.invokeKind;
    f.paramCount = static_cast<int16_t>(stored.params.size());
    f.optionalParamCount = stored.optionalParamCount;
    f.result = stored.result;
    f.funcKind = stored.funcKind;
    f.flags = stored.flags;
    f.vtableSlot = stored.vtableSlot;
    f.params.reserve(stored.params.size());
    for (const StoredParameter& p : stored.params) f.params.push_back(ParameterDescription{p.type, p.flags, p.defaultValue});
    return f;
}

// A type description with its references marked as coming from an
// inherited level; references that cannot be marked are left unresolvable.
TypeDescription markedLevel(const TypeDescription& type, int32_t level, int depth = 0) {
    TypeDescription marked = type;
    if (type.vt == VT_USERDEFINED)
        marked.reference = type.reference >= 0 && type.reference < inheritedLevelStep
                               ? type.reference + level * inheritedLevelStep
                               : -1;
    if (type.pointee && depth < 64)
        marked.pointee = std::make_shared<const TypeDescription>(markedLevel(*type.pointee, level, depth + 1));
    return marked;
}

const Result<std::vector<ViewType>>& FileReader::dispatchChain(const ViewType& t) const {
    const auto key = std::make_tuple(t.view.source, t.view.index, t.view.interfaceHalf);
    if (auto cached = chains_.find(key); cached != chains_.end()) return cached->second;
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
    return chains_.emplace(key, make()).first->second;
}

Result<const StoredFunction*> FileReader::storedFunction(const TypeSource* source, uint32_t index, uint32_t k) const {
    for (const DecodedFunction& entry : decoded_)
        if (entry.function && entry.source == source && entry.index == index && entry.k == k) return &*entry.function;
    auto f = source->function(index, k);
    if (!f) return f.failure();
    DecodedFunction& entry = decoded_[nextDecoded_];
    nextDecoded_ = (nextDecoded_ + 1) % decoded_.size();
    entry = {source, index, k, std::move(*f)};
    return &*entry.function;
}

Result<FunctionDescription> FileReader::dispatchFunction(const ViewType& t, uint32_t k) const {
    const auto& found = dispatchChain(t);
    if (!found) return found.failure();
    const std::vector<ViewType>& chain = *found;
    uint64_t position = k;
    for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
        if (position >= level->stored.funcCount) {
            position -= level->stored.funcCount;
            continue;
        }
        auto depth = static_cast<int32_t>(chain.rend() - level - 1);
        auto decoded = storedFunction(level->view.source, level->view.index, static_cast<uint32_t>(position));
        if (!decoded) return decoded.failure();
        if ((*decoded)->defaultUncopyable)
            return fail("function " + std::to_string(k) + ": default value of a type that cannot be copied");
        FunctionDescription stored = describe(**decoded);
        if (stored.funcKind != FUNC_DISPATCH) {
            // Vtable form seen through IDispatch: the [retval] parameter
            // becomes the result, an HRESULT result disappears, and a
            // trailing [lcid] parameter is supplied by Invoke.
            auto& params = stored.params;
            if (!params.empty() && (params.back().flags & PARAMFLAG_FRETVAL)) {
                if (params.back().type.vt != 26 || !params.back().type.pointee)
                    return fail("function " + std::to_string(k) + ": [retval] parameter is not a pointer");
                stored.result = *params.back().type.pointee;
                params.pop_back();
            } else if (stored.result.vt == 25) {
                stored.result = TypeDescription{24, nullptr};
            }
            if (!params.empty() && (params.back().flags & PARAMFLAG_FLCID)) params.pop_back();
            stored.paramCount = static_cast<int16_t>(params.size());
        }
        stored.funcKind = FUNC_DISPATCH;
        if (depth > 0 && depth < 0x7F) {
            stored.result = markedLevel(stored.result, depth);
            for (auto& p : stored.params) p.type = markedLevel(p.type, depth);
        }
        return stored;
    }
    return fail("no function " + std::to_string(k) + " in the dispatch view of type " + std::to_string(t.view.index),
                Failure::Step::EmptySlot);
}

Result<VariableDescription> FileReader::variable(uint32_t index, uint32_t k) const {
    auto t = topLevel(index);
    if (!t) return fail(t.failure().message);
    if (k >= t->stored.varCount) return fail("type " + std::to_string(index) + " has no variable " + std::to_string(k));
    auto stored = t->view.source->variable(index, k);
    if (!stored) return stored.failure();
    if (stored->descriptionFailure) return fail(*stored->descriptionFailure);
    return VariableDescription{stored->memberId, stored->varKind, stored->flags, std::move(stored->type),
                               std::move(stored->value)};
}

Result<FunctionDescription> FileReader::function(uint32_t index, uint32_t k) const {
    auto t = topLevel(index);
    if (!t) return fail(t.failure().message);
    if (t->kind() == TKIND_DISPATCH) return dispatchFunction(*t, k);
    if (k >= t->stored.funcCount) return fail("type " + std::to_string(index) + " has no function " + std::to_string(k));
    auto stored = storedFunction(t->view.source, index, k);
    if (!stored) return stored.failure();
    if ((*stored)->defaultUncopyable) return fail("function " + std::to_string(k) + ": default value of a type that cannot be copied");
    return describe(**stored);
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
        auto decoded = storedFunction(t.view.source, t.view.index, **member);
        if (!decoded) return decoded.failure();
        const StoredFunction* f = *decoded;
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
            auto f = storedFunction(t.view.source, t.view.index, **member);
            if (!f) return f.failure();
            return (*f)->docString;
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

std::optional<uint64_t> FileReader::memberBlockOf(uint32_t index) const {
    if (!main_.library || index >= main_.library->count()) return std::nullopt;
    return main_.library->memberBlockKey(index);
}

bool referenceStaysPut(const TypeDescription& type, int depth = 0) {
    if (type.vt == VT_USERDEFINED && (type.reference < 0 || type.reference >= inheritedLevelStep)) return false;
    return !type.pointee || depth >= 64 || referenceStaysPut(*type.pointee, depth + 1);
}

// A dispatch view marks the references of the functions it inherits with
// their level; those of its own functions it leaves as stored. The two
// resolve alike unless a stored reference is one no level can mark.
bool FileReader::referencesStayPut(uint32_t index) const {
    auto cached = referencesStayPut_.find(index);
    if (cached != referencesStayPut_.end()) return cached->second;
    bool stays = true;
    auto t = topLevel(index);
    for (uint32_t k = 0; stays && t && k < t->stored.funcCount; ++k) {
        auto f = main_.library->function(index, k);
        if (!f) continue;
        stays = referenceStaysPut(f->result);
        for (const StoredParameter& p : f->params) stays = stays && referenceStaysPut(p.type);
    }
    referencesStayPut_.emplace(index, stays);
    return stays;
}

// A dual's dispatch view lists its base chain's functions, then its own;
// when its base is the interface half of another own dual, that dual's view
// is the same chain one level shorter. Its functions keep their names and
// doc strings unless the type's own members take their ids.
std::optional<uint32_t> FileReader::inheritedViewOf(uint32_t index) const {
    auto t = topLevel(index);
    if (!t || t->kind() != TKIND_DISPATCH || !t->dual() || !t->hasBase()) return std::nullopt;
    auto base = follow(*t, t->stored.datatype1);
    if (!base || base->view.source != main_.library.get() || base->stored.kind != TKIND_DISPATCH || !base->dual() ||
        base->view.index == index)
        return std::nullopt;
    auto baseView = topLevel(base->view.index);
    if (!baseView) return std::nullopt;
    const auto& chain = dispatchChain(*t);
    const auto& baseChain = dispatchChain(*baseView);
    if (bool(chain) != bool(baseChain)) return std::nullopt;
    // Neither chain can be followed: every function of both is unavailable.
    if (!chain) return base->view.index;
    if (chain->size() != baseChain->size() + 1) return std::nullopt;
    for (size_t level = 0; level < baseChain->size(); ++level) {
        const View& a = (*chain)[level + 1].view;
        const View& b = (*baseChain)[level].view;
        if (a.source != b.source || a.index != b.index) return std::nullopt;
    }
    if (!referencesStayPut(base->view.index)) return std::nullopt;
    // MEMBERID_NIL asks for the type's own doc string, whichever type.
    uint32_t members = t->stored.funcCount + t->stored.varCount;
    for (uint32_t k = 0; k <= members; ++k) {
        std::optional<int32_t> id;
        if (k == members) {
            id = -1;
        } else if (k < t->stored.funcCount) {
            if (auto f = main_.library->function(index, k)) id = f->memberId;
        } else if (auto v = main_.library->variable(index, k - t->stored.funcCount)) {
            id = v->memberId;
        }
        if (!id) return std::nullopt;
        for (size_t level = 1; level < chain->size(); ++level) {
            const ViewType& inherited = (*chain)[level];
            auto found = inherited.view.source->findMember(inherited.view.index, *id);
            if (!found || *found) return std::nullopt;
        }
    }
    return base->view.index;
}

}  // namespace

std::unique_ptr<FileTypeLibraryReader> makeFileTypeLibraryReader(std::vector<std::string> searchPath,
                                                                 RegisteredLibraryLookup registered) {
    return std::make_unique<FileReader>(std::move(searchPath), std::move(registered));
}

}  // namespace mivra
