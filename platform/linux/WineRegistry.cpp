#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ClassRegistry.h"

// The class registry of a Wine prefix, read from its text registry files.
// HKEY_CLASSES_ROOT is the machine's Software\Classes (system.reg) with the
// user's Software\Classes (user.reg) laid over it: where the user has a key,
// that key answers. The lookups return what Wine's own ole32 and oleaut32
// return for the same registry.
namespace mivra {

namespace fs = std::filesystem;

namespace {

// Key and value names compare as the Wine server compares them: case folded.
std::string foldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return folded;
}

constexpr uint32_t regSz = 1;
constexpr uint32_t regExpandSz = 2;

struct RegistryValue {
    uint32_t type = 0;
    std::optional<std::string> text;  // string types only
};

// One key line of a registry file: its path as written (components joined
// by a backslash), where it first appeared, and its values.
struct RegistryKey {
    std::string path;
    size_t order = 0;
    std::map<std::string, RegistryValue> values;  // by folded name, "" default
};

// The keys of one registry file by folded path. A key exists when it has a
// line of its own or when a key below it has one; keys without a line of
// their own are not stored, so a deep path costs its text, not a record for
// each of its components.
struct RegistryTree {
    std::map<std::string, RegistryKey, std::less<>> keys;

    struct Found {
        bool exists = false;
        const RegistryKey* key = nullptr;  // nothing for a key without a line
    };

    Found find(const std::string& folded) const {
        auto it = keys.find(folded);
        if (it != keys.end()) return {true, &it->second};
        const std::string below = folded + '\\';
        auto first = keys.lower_bound(below);
        if (first != keys.end() && first->first.compare(0, below.size(), below) == 0) return {true, nullptr};
        return {};
    }

    // The keys right below: folded name -> name as first written. A name is
    // spelled as the first line in the file that reaches it spells it.
    void children(const std::string& folded, std::map<std::string, std::pair<size_t, std::string>>& out) const {
        const std::string below = folded + '\\';
        for (auto it = keys.lower_bound(below); it != keys.end() && it->first.compare(0, below.size(), below) == 0;
             ++it) {
            size_t end = it->first.find('\\', below.size());
            size_t length = (end == std::string::npos ? it->first.size() : end) - below.size();
            auto [slot, added] = out.try_emplace(it->first.substr(below.size(), length), it->second.order,
                                                 it->second.path.substr(below.size(), length));
            if (!added && it->second.order < slot->second.first)
                slot->second = {it->second.order, it->second.path.substr(below.size(), length)};
        }
    }
};

constexpr size_t maxPathComponents = 512;
constexpr uintmax_t maxRegistryFileSize = 512u * 1024 * 1024;

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 code units to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(const std::vector<uint16_t>& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads an escaped text starting at pos up to an unescaped terminator
// character; pos ends just after the terminator. Wine writes \\, \", \],
// control characters as \n-style or \ooo escapes and non-ASCII characters
// as \xNNNN (UTF-16 code units); raw bytes are taken as UTF-8 already.
std::optional<std::string> readEscaped(std::string_view line, size_t& pos, std::optional<char> terminator) {
    std::string out;
    std::vector<uint16_t> pendingUnits;
    auto flushUnits = [&] {
        if (!pendingUnits.empty()) {
            out += utf16ToUtf8(pendingUnits);
            pendingUnits.clear();
        }
    };
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == terminator) {
            flushUnits();
            return out;
        }
        if (c != '\\') {
            flushUnits();
            out += c;
            continue;
        }
        if (pos >= line.size()) return std::nullopt;
        char e = line[pos++];
        switch (e) {
            case 'a': flushUnits(); out += '\a'; break;
            case 'b': flushUnits(); out += '\b'; break;
            case 'e': flushUnits(); out += '\x1b'; break;
            case 'f': flushUnits(); out += '\f'; break;
            case 'n': flushUnits(); out += '\n'; break;
            case 'r': flushUnits(); out += '\r'; break;
            case 't': flushUnits(); out += '\t'; break;
            case 'v': flushUnits(); out += '\v'; break;
            case 'x': {
                uint32_t value = 0;
                int digits = 0;
                while (digits < 4 && pos < line.size() && hexDigit(line[pos]) >= 0) {
                    value = value * 16 + static_cast<uint32_t>(hexDigit(line[pos++]));
                    ++digits;
                }
                if (digits == 0) return std::nullopt;
                pendingUnits.push_back(static_cast<uint16_t>(value));
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    uint32_t value = static_cast<uint32_t>(e - '0');
                    for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                         ++digits)
                        value = value * 8 + static_cast<uint32_t>(line[pos++] - '0');
                    pendingUnits.push_back(static_cast<uint16_t>(value));
                } else {
                    flushUnits();
                    out += e;
                }
        }
    }
    if (terminator) return std::nullopt;
    flushUnits();
    return out;
}

// "hex:" data: comma-separated byte pairs, blanks allowed.
std::optional<std::vector<uint8_t>> readHexBytes(std::string_view text) {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == ',')) ++pos;
        if (pos >= text.size()) break;
        if (pos + 1 >= text.size() || hexDigit(text[pos]) < 0 || hexDigit(text[pos + 1]) < 0) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(hexDigit(text[pos]) * 16 + hexDigit(text[pos + 1])));
        pos += 2;
    }
    return bytes;
}

// A string value stored as hex bytes (UTF-16LE, usually NUL-terminated).
std::string utf16BytesToText(const std::vector<uint8_t>& bytes) {
    std::vector<uint16_t> units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint16_t u = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (u == 0) break;
        units.push_back(u);
    }
    return utf16ToUtf8(units);
}

std::optional<RegistryValue> readValueData(std::string_view data) {
    RegistryValue value;
    if (!data.empty() && data[0] == '"') {
        size_t pos = 1;
        auto text = readEscaped(data, pos, '"');
        if (!text) return std::nullopt;
        value.type = regSz;
        value.text = std::move(*text);
        return value;
    }
    if (data.rfind("str(", 0) == 0) {
        size_t close = data.find("):\"");
        if (close == std::string_view::npos) return std::nullopt;
        char* end = nullptr;
        std::string typeText(data.substr(4, close - 4));
        unsigned long type = std::strtoul(typeText.c_str(), &end, 16);
        if (typeText.empty() || *end != '\0') return std::nullopt;
        size_t pos = close + 3;
        auto text = readEscaped(data, pos, '"');
        if (!text) return std::nullopt;
        value.type = static_cast<uint32_t>(type);
        if (value.type == regSz || value.type == regExpandSz) value.text = std::move(*text);
        return value;
    }
    if (data.rfind("dword:", 0) == 0) {
        value.type = 4;
        return value;
    }
    if (data.rfind("hex", 0) == 0) {
        size_t colon = data.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        uint32_t type = 3;
        if (colon > 3) {
            if (data[3] != '(' || data[colon - 1] != ')') return std::nullopt;
            std::string typeText(data.substr(4, colon - 5));
            char* end = nullptr;
            type = static_cast<uint32_t>(std::strtoul(typeText.c_str(), &end, 16));
            if (typeText.empty() || *end != '\0') return std::nullopt;
        }
        auto bytes = readHexBytes(data.substr(colon + 1));
        if (!bytes) return std::nullopt;
        value.type = type;
        if (type == regSz || type == regExpandSz) value.text = utf16BytesToText(*bytes);
        return value;
    }
    return std::nullopt;
}

// The braced form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} in upper case, as
// StringFromGUID2 writes it; anything else is no GUID.
std::optional<std::string> canonicalGuid(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
    std::string out(text);
    for (size_t i = 1; i < 37; ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (out[i] != '-') return std::nullopt;
        } else if (hexDigit(out[i]) < 0) {
            return std::nullopt;
        } else {
            out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i])));
        }
    }
    return out;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Parses one registry file into the tree. Lines that cannot be read are
// passed over; values after an unreadable key line are dropped until the
// next key line. The text is walked line by line in place.
void parseRegistryText(const std::string& content, RegistryTree& tree) {
    std::string_view rest(content);
    auto nextLine = [&rest](std::string_view& line) {
        if (rest.empty()) return false;
        size_t nl = rest.find('\n');
        line = trimRight(rest.substr(0, nl));
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line != "WINE REGISTRY Version 2") return;

    RegistryKey* current = nullptr;
    size_t order = 0;
    while (nextLine(line)) {
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            current = nullptr;
            std::vector<std::string> components;
            std::string component;
            size_t pos = 1;
            bool closed = false;
            bool bad = false;
            while (pos < line.size()) {
                char c = line[pos];
                if (c == ']') {
                    closed = true;
                    break;
                }
                if (c == '\\' && pos + 1 < line.size()) {
                    if (line[pos + 1] == '\\') {
                        components.push_back(std::move(component));
                        component.clear();
                    } else {
                        // An escape inside a name ("\]", "\x00e9"), decoded below.
                        component += c;
                        component += line[pos + 1];
                    }
                    pos += 2;
                    continue;
                }
                component += c;
                ++pos;
            }
            components.push_back(std::move(component));
            if (!closed || components.size() > maxPathComponents) continue;
            std::string path;
            for (std::string& raw : components) {
                size_t rawPos = 0;
                auto decoded = readEscaped(raw, rawPos, std::nullopt);
                // No key name is empty or holds a backslash (the separator).
                if (!decoded || decoded->empty() || decoded->find('\\') != std::string::npos) {
                    bad = true;
                    break;
                }
                if (!path.empty()) path += '\\';
                path += *decoded;
            }
            if (bad) continue;
            auto [slot, added] = tree.keys.try_emplace(foldCase(path));
            if (added) {
                slot->second.path = std::move(path);
                slot->second.order = order++;
            }
            current = &slot->second;
            continue;
        }
        if (line[0] != '@' && line[0] != '"') continue;

        std::string valueName;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else {
            pos = 1;
            auto name = readEscaped(line, pos, '"');
            if (!name) continue;
            valueName = std::move(*name);
        }
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        std::string data(line.substr(pos));
        // Hex data runs on over lines ending in a backslash.
        if (data.rfind("hex", 0) == 0) {
            std::string_view next;
            while (!data.empty() && data.back() == '\\' && nextLine(next)) {
                data.pop_back();
                while (!next.empty() && (next.front() == ' ' || next.front() == '\t')) next.remove_prefix(1);
                data += next;
            }
            if (!data.empty() && data.back() == '\\') data.pop_back();
        }
        if (!current) continue;
        auto value = readValueData(data);
        if (!value) continue;
        current->values[foldCase(valueName)] = std::move(*value);
    }
}

RegistryTree loadRegistryFile(const fs::path& path) {
    RegistryTree tree;
    std::error_code ec;
    uintmax_t size = fs::file_size(path, ec);
    if (ec || size > maxRegistryFileSize) return tree;
    std::ifstream in(path, std::ios::binary);
    if (!in) return tree;
    std::string content(static_cast<size_t>(size), '\0');
    in.read(content.data(), static_cast<std::streamsize>(size));
    content.resize(static_cast<size_t>(in.gcount()));
    parseRegistryText(content, tree);
    return tree;
}

std::vector<std::string> splitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t sep = path.find('\\', start);
        parts.emplace_back(path.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    return parts;
}

// What RegEnumKeyExA into a 16-byte buffer and sscanf("%x.%x") make of a
// version key name: the enumeration stops at a name too long for the
// buffer; a name that does not scan is passed over.
struct HexScan {
    bool ok = false;
    int32_t value = 0;
};

HexScan scanHex(std::string_view text, size_t& pos) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos + 2 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
        hexDigit(text[pos + 2]) >= 0)
        pos += 2;
    uint32_t value = 0;
    size_t digits = 0;
    while (pos < text.size() && hexDigit(text[pos]) >= 0) {
        value = value * 16 + static_cast<uint32_t>(hexDigit(text[pos++]));
        ++digits;
    }
    if (digits == 0) return {};
    if (negative) value = 0u - value;
    return {true, static_cast<int32_t>(value)};
}

bool scanVersion(std::string_view name, int32_t& major, int32_t& minor) {
    size_t pos = 0;
    HexScan a = scanHex(name, pos);
    if (!a.ok || pos >= name.size() || name[pos] != '.') return false;
    ++pos;
    HexScan b = scanHex(name, pos);
    if (!b.ok) return false;
    major = a.value;
    minor = b.value;
    return true;
}

std::string lowerHex(uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value);
    return text;
}

class WineRegistry final : public ClassRegistry {
public:
    explicit WineRegistry(fs::path prefix) : prefix_(std::move(prefix)) {
        machine_ = loadRegistryFile(prefix_ / "system.reg");
        user_ = loadRegistryFile(prefix_ / "user.reg");
        if (auto locale = valueText(user_.find(foldCase("Control Panel\\International")).key, "Locale")) {
            char* end = nullptr;
            unsigned long lcid = std::strtoul(locale->c_str(), &end, 16);
            if (!locale->empty() && *end == '\0' && lcid <= 0xFFFFFFFFul) userLocale_ = static_cast<uint32_t>(lcid);
        }
    }

    std::optional<std::vector<std::string>> subkeys(const std::string& keyPath) const override {
        View view = open(keyPath);
        if (!view.user.exists && !view.machine.exists) return std::nullopt;
        std::map<std::string, std::pair<size_t, std::string>> machine, user;
        if (view.machine.exists) machine_.children(view.path, machine);
        if (view.user.exists) user_.children(view.path, user);
        for (auto& [folded, name] : user) machine[folded] = std::move(name);
        std::vector<std::string> names;
        names.reserve(machine.size());
        for (auto& [folded, name] : machine) names.push_back(std::move(name.second));
        return names;
    }

    std::optional<std::string> defaultValue(const std::string& keyPath) const override {
        return valueText(open(keyPath).answering(), "");
    }

    std::optional<std::string> clsidFromProgId(const std::string& progId) const override {
        for (const char* view : {"", "Wow6432Node\\"}) {
            std::string name = progId;
            // A version-independent ProgID may name its current version
            // instead of carrying a CLSID of its own.
            for (int hop = 0; hop < 8 && !name.empty(); ++hop) {
                std::string base = view + name;
                if (keyExists(base + "\\CLSID")) {
                    auto text = queryValue(base + "\\CLSID");
                    if (!text || text->size() > 38) break;
                    auto guid = canonicalGuid(*text);
                    if (!guid) break;
                    return guid;
                }
                auto next = defaultValue(base + "\\CurVer");
                if (!next || foldCase(*next) == foldCase(name)) break;
                name = *next;
            }
        }
        return std::nullopt;
    }

    std::optional<std::string> progIdFromClsid(const std::string& clsidText) const override {
        auto guid = canonicalGuid(clsidText);
        if (!guid) return std::nullopt;
        for (const char* view : {"", "Wow6432Node\\"}) {
            std::string key = std::string(view) + "CLSID\\" + *guid + "\\ProgID";
            if (!keyExists(key)) continue;
            // An empty ProgID names nothing; the class is then known by its GUID.
            auto text = queryValue(key);
            if (text && !text->empty()) return text;
            return std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<std::string> typeLibraryPath(const std::string& libidText, uint16_t major,
                                               uint16_t minor) const override {
        auto guid = canonicalGuid(libidText);
        if (!guid) return std::nullopt;
        for (const char* syskind : {"win64", "win32"})
            if (auto path = queryTypeLibraryPath(*guid, major, minor, syskind)) return path;
        return std::nullopt;
    }

    std::string localPath(const std::string& registeredPath) const override;

private:
    // A key of the classes root in both files; where the user has the key,
    // the user's key answers.
    struct View {
        std::string path;  // folded, from the file's root
        RegistryTree::Found user;
        RegistryTree::Found machine;
        const RegistryKey* answering() const { return user.exists ? user.key : machine.key; }
        bool exists() const { return user.exists || machine.exists; }
    };

    View open(std::string_view keyPath) const {
        auto parts = splitKeyPath(keyPath);
        if (std::any_of(parts.begin(), parts.end(), [](const std::string& p) { return p.empty(); })) return {};
        View view;
        view.path = "SOFTWARE\\CLASSES\\" + foldCase(keyPath);
        view.user = user_.find(view.path);
        view.machine = machine_.find(view.path);
        return view;
    }

    bool keyExists(std::string_view keyPath) const { return open(keyPath).exists(); }

    static std::optional<std::string> valueText(const RegistryKey* key, std::string_view name) {
        if (!key) return std::nullopt;
        auto it = key->values.find(foldCase(name));
        if (it == key->values.end()) return std::nullopt;
        return it->second.text;
    }

    // RegQueryValue: the key's default value, an empty text when the key has
    // none, nothing when the key is missing or the value is no string or
    // does not fit the caller's buffer of maxChars characters.
    std::optional<std::string> queryValue(std::string_view keyPath, size_t maxChars = 0) const {
        View view = open(keyPath);
        if (!view.exists()) return std::nullopt;
        const RegistryKey* key = view.answering();
        if (!key) return std::string();
        auto it = key->values.find("");
        if (it == key->values.end()) return std::string();
        if (!it->second.text) return std::nullopt;
        if (maxChars && it->second.text->size() >= maxChars) return std::nullopt;
        return it->second.text;
    }

    // oleaut32's find_typelib_key: the version key to use for a request.
    // Minor 0 takes the highest registered minor of the same major.
    bool findTypeLibraryKey(const std::string& libKey, int32_t& major, int32_t& minor) const {
        auto names = subkeys(libKey);
        if (!names) return false;
        const bool any = major == 0xFFFF && minor == 0xFFFF;
        int32_t bestMajor = -1;
        int32_t bestMinor = -1;
        for (const std::string& name : *names) {
            if (name.size() >= 16) break;
            int32_t vMajor = 0;
            int32_t vMinor = 0;
            if (!scanVersion(name, vMajor, vMinor)) continue;
            if (any) {
                bestMajor = std::max(bestMajor, vMajor);
                bestMinor = std::max(bestMinor, vMinor);
            } else if (major == vMajor) {
                bestMajor = vMajor;
                if (minor == vMinor) {
                    bestMinor = vMinor;
                    break;
                }
                if (vMinor >= minor && vMinor > bestMinor) bestMinor = vMinor;
            }
        }
        if (any) {
            if (bestMajor < 0 || bestMinor < 0) return false;
            major = bestMajor;
            minor = bestMinor;
            return true;
        }
        if (major == bestMajor && bestMinor >= 0) {
            minor = bestMinor;
            return true;
        }
        return false;
    }

    std::optional<std::string> queryTypeLibraryPath(const std::string& guid, uint16_t wantMajor, uint16_t wantMinor,
                                                    const char* syskind) const {
        const std::string libKey = "Typelib\\" + guid;
        int32_t major = wantMajor;
        int32_t minor = wantMinor;
        if (!findTypeLibraryKey(libKey, major, minor)) return std::nullopt;
        const std::string versionKey = libKey + "\\" + lowerHex(static_cast<uint16_t>(major)) + "." +
                                       lowerHex(static_cast<uint16_t>(minor));
        if (!keyExists(versionKey)) return std::nullopt;
        // The user's locale, then its primary language's sub-language part
        // as Wine computes it, then the neutral locale.
        const uint32_t lcid = userLocale_;
        uint32_t current = lcid;
        constexpr size_t maxPath = 260;
        while (true) {
            auto path = queryValue(versionKey + "\\" + lowerHex(current) + "\\" + syskind, maxPath);
            if (path) return path;
            const uint32_t subLanguage = (lcid & 0xFFFF) >> 10;
            if (lcid == 0) return std::nullopt;
            if (current == lcid) {
                current = subLanguage;
            } else if (current == subLanguage && current != 0) {
                current = 0;
            } else {
                return std::nullopt;
            }
        }
    }

    fs::path prefix_;
    RegistryTree machine_;
    RegistryTree user_;
    uint32_t userLocale_ = 0x409;
};

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && foldCase(a) == foldCase(b);
}

// One component of a Windows path in a Linux folder: the entry of that
// name, else the entry whose name differs only in case.
std::optional<fs::path> findEntry(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    if (name == "." || name == "..") return folder / name;
    fs::path exact = folder / name;
    if (fs::exists(exact, ec)) return exact;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (sameIgnoringCase(it->path().filename().string(), name)) return it->path();
    }
    return std::nullopt;
}

std::string WineRegistry::localPath(const std::string& registeredPath) const {
    std::string path = registeredPath;
    for (const char* longPrefix : {"\\\\?\\", "\\??\\"})
        if (path.rfind(longPrefix, 0) == 0) path.erase(0, 4);
    if (path.size() < 2 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' ||
        (path.size() > 2 && path[2] != '\\' && path[2] != '/'))
        return registeredPath;

    std::string drive(1, static_cast<char>(std::tolower(static_cast<unsigned char>(path[0]))));
    fs::path current = prefix_ / "dosdevices" / (drive + ":");
    std::error_code ec;
    if (!fs::exists(current, ec)) return registeredPath;

    std::vector<std::string> parts;
    {
        std::string part;
        for (size_t i = 2; i < path.size(); ++i) {
            char c = path[i];
            if (c == '\\' || c == '/') {
                if (!part.empty()) parts.push_back(std::move(part));
                part.clear();
            } else {
                part += c;
            }
        }
        if (!part.empty()) parts.push_back(std::move(part));
    }

    // The drive's link is resolved so that the result is a plain path.
    fs::path resolved = fs::canonical(current, ec);
    if (ec) resolved = current;
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        // A trailing number after a file selects a resource in that file and
        // stays in the Windows form the type-library reader understands.
        if (last && std::all_of(parts[i].begin(), parts[i].end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            fs::is_regular_file(resolved, ec))
            return resolved.string() + "\\" + parts[i];
        auto entry = fs::is_directory(resolved, ec) ? findEntry(resolved, parts[i]) : std::nullopt;
        if (!entry) {
            for (size_t j = i; j < parts.size(); ++j) resolved /= parts[j];
            return resolved.string();
        }
        resolved = *entry;
    }
    return resolved.string();
}

std::optional<fs::path> choosePrefix(const std::string& prefixOverride) {
    if (!prefixOverride.empty()) return fs::path(prefixOverride);
    if (const char* env = std::getenv("WINEPREFIX"); env && *env) return fs::path(env);
    if (const char* home = std::getenv("HOME"); home && *home) {
        fs::path dotWine = fs::path(home) / ".wine";
        std::error_code ec;
        if (fs::is_directory(dotWine, ec)) return dotWine;
    }
    return std::nullopt;
}

class EmptyRegistry final : public ClassRegistry {
public:
    std::optional<std::vector<std::string>> subkeys(const std::string&) const override { return std::nullopt; }
    std::optional<std::string> defaultValue(const std::string&) const override { return std::nullopt; }
    std::optional<std::string> clsidFromProgId(const std::string&) const override { return std::nullopt; }
    std::optional<std::string> progIdFromClsid(const std::string&) const override { return std::nullopt; }
    std::optional<std::string> typeLibraryPath(const std::string&, uint16_t, uint16_t) const override {
        return std::nullopt;
    }
    std::string localPath(const std::string& registeredPath) const override { return registeredPath; }
};

}  // namespace

std::unique_ptr<ClassRegistry> openClassRegistry(const std::string& prefixOverride) {
    auto prefix = choosePrefix(prefixOverride);
    std::error_code ec;
    if (!prefix || !fs::is_directory(*prefix, ec)) return std::make_unique<EmptyRegistry>();
    return std::make_unique<WineRegistry>(*prefix);
}

}  // namespace mivra
