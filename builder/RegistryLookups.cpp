#include "RegistryLookups.h"

#include "SourceLoading.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <set>

namespace mivra {

namespace {

// RegEnumKeyEx into a 260-character buffer: a longer name ends the
// enumeration as the call's failure would.
constexpr size_t enumNameLimit = 260;

// The number before a version key's first ".", read as a decimal number the
// way atoi reads it: leading digits only, none gives 0.
long versionMajor(const std::string& name) {
    std::string head = name.substr(0, name.find('.'));
    size_t pos = 0;
    while (pos < head.size() && std::isspace(static_cast<unsigned char>(head[pos]))) ++pos;
    bool negative = false;
    if (pos < head.size() && (head[pos] == '+' || head[pos] == '-')) negative = head[pos++] == '-';
    long value = 0;
    for (; pos < head.size() && std::isdigit(static_cast<unsigned char>(head[pos])); ++pos) {
        value = value * 10 + (head[pos] - '0');
        if (value > 0xFFFF) value = 0xFFFF + 1;  // beyond any version QueryPathOfRegTypeLib can name
    }
    return negative ? -value : value;
}

// The major version a key of that name registers, read as the registry
// reads version key names ("%x.%x"): leading blanks, a sign, "0x", then hex
// digits; -1 when there are none.
long registeredMajor(const std::string& name) {
    size_t pos = 0;
    while (pos < name.size() && std::isspace(static_cast<unsigned char>(name[pos]))) ++pos;
    bool negative = false;
    if (pos < name.size() && (name[pos] == '+' || name[pos] == '-')) negative = name[pos++] == '-';
    if (pos + 2 < name.size() && name[pos] == '0' && (name[pos + 1] == 'x' || name[pos + 1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(name[pos + 2])))
        pos += 2;
    uint32_t value = 0;
    size_t digits = 0;
    for (; pos < name.size() && std::isxdigit(static_cast<unsigned char>(name[pos])); ++pos, ++digits)
        value = value * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(name[pos]))
                                                       ? name[pos] - '0'
                                                       : std::tolower(static_cast<unsigned char>(name[pos])) - 'a' + 10);
    if (digits == 0) return -1;
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

std::string foldCase(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

}  // namespace

RegisteredLibraryList& registeredLibraryList() {
    static RegisteredLibraryList list;
    return list;
}

void listRegisteredLibraries(const ClassRegistry& registry, const ReaderFactory& makeReader,
                             const LookupReport& report, RegisteredLibraryList& list) {
    if (list.filled) return;
    list.filled = true;
    auto libraries = registry.subkeys("TypeLib");
    if (!libraries) {
        if (report) report("Failed to access TypeLib key in registry");
        return;
    }
    for (const std::string& name : *libraries) {
        if (name.size() >= enumNameLimit) break;
        auto guid = parseGuid(name);
        if (!guid) continue;
        auto versions = registry.subkeys("TypeLib\\" + name);
        if (!versions) continue;
        long major = 0;
        std::set<long, std::greater<>> registered;
        for (const std::string& version : *versions) {
            if (version.size() >= enumNameLimit) break;
            major = std::max(major, versionMajor(version));
            registered.insert(registeredMajor(version));
        }
        major = std::min<long>(major, 0xFFFF);
        // From the largest major down to 1, only the majors that have a key
        // can give a path: those are asked for, highest first.
        std::optional<std::string> registeredPath;
        for (auto m = registered.lower_bound(major); m != registered.end() && *m >= 1 && !registeredPath; ++m)
            registeredPath = registry.typeLibraryPath(guidText(*guid), static_cast<uint16_t>(*m), 0);
        if (!registeredPath) continue;

        std::string path = registry.localPath(*registeredPath);
        std::unique_ptr<TypeLibraryReader> reader = makeReaderFor(path, makeReader);
        if (!reader) continue;
        if (!reader->load(path)) continue;
        auto documentation = reader->documentation(-1);
        reader->release();
        if (!documentation) continue;
        std::string text = documentation->name.value_or("");
        if (documentation->docString && !documentation->docString->empty())
            text += ":   " + *documentation->docString;
        list.displayTexts.push_back(std::move(text));
        list.paths.push_back(std::move(path));
    }
}

std::vector<size_t> sortedLibraryOrder(const RegisteredLibraryList& list) {
    std::vector<size_t> order(list.displayTexts.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::vector<std::string> keys;
    keys.reserve(order.size());
    for (const std::string& text : list.displayTexts) keys.push_back(foldCase(text));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (keys[a] != keys[b]) return keys[a] < keys[b];
        return list.displayTexts[a] < list.displayTexts[b];
    });
    return order;
}

std::optional<std::string> locateServerByProgId(const ClassRegistry& registry, const std::string& progId,
                                                const LookupReport& report) {
    auto clsid = registry.clsidFromProgId(progId);
    auto guid = clsid ? parseGuid(*clsid) : std::nullopt;
    if (!guid) {
        if (report) report(progId + ": this id was not found");
        return std::nullopt;
    }
    const std::string classKey = "CLSID\\" + guidText(*guid);
    if (!registry.subkeys("CLSID") || !registry.subkeys(classKey)) {
        if (report) report("Registry lookup failed");
        return std::nullopt;
    }
    for (const char* server :
         {"InprocServer32", "InprocHandler32", "LocalServer32", "InprocServer", "InprocHandler", "LocalServer"}) {
        auto value = registry.defaultValue(classKey + "\\" + server);
        if (!value) continue;
        std::string local = registry.localPath(*value);
        std::error_code ec;
        if (local != *value && std::filesystem::exists(local, ec)) return local;
        return value;
    }
    if (report) report("No file found for this ID");
    return std::nullopt;
}

std::string identifierText(const Guid& guid, const ClassRegistry* registry) {
    const std::string text = guidText(guid);
    if (registry)
        if (auto progId = registry->progIdFromClsid(text)) return *progId;
    return text;
}

}  // namespace mivra
