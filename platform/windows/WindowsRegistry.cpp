#include <objbase.h>
#include <oleauto.h>

#include "ClassRegistry.h"
#include "WideText.h"

namespace mivra {

namespace {

// An open registry key, closed when it goes.
class OpenKey {
public:
    explicit OpenKey(const std::string& keyPath) {
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, wideText(keyPath).c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::optional<GUID> guidFromText(const std::string& text) {
    GUID guid;
    std::wstring wide = wideText(text);
    if (FAILED(CLSIDFromString(wide.c_str(), &guid))) return std::nullopt;
    return guid;
}

std::string textOfGuid(const GUID& guid) {
    wchar_t text[40];
    if (StringFromGUID2(guid, text, 40) == 0) return {};
    return utf8Text(text);
}

// The real registry of this machine, through the Win32 and COM calls. COM is
// initialised for the life of the object so that the ProgID and type-library
// lookups work from a plain command line too.
class WindowsRegistry final : public ClassRegistry {
public:
    WindowsRegistry() : comStarted_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~WindowsRegistry() override {
        if (comStarted_) CoUninitialize();
    }

    std::optional<std::vector<std::string>> subkeys(const std::string& keyPath) const override {
        OpenKey key(keyPath);
        if (!key.get()) return std::nullopt;
        std::vector<std::string> names;
        for (DWORD index = 0;; ++index) {
            wchar_t name[260];
            DWORD length = 260;
            if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            names.push_back(narrowText(name, length));
        }
        return names;
    }

    std::optional<std::string> defaultValue(const std::string& keyPath) const override {
        OpenKey key(keyPath);
        if (!key.get()) return std::nullopt;
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        value.resize(size / sizeof(wchar_t));
        while (!value.empty() && value.back() == L'\0') value.pop_back();
        return utf8Text(value);
    }

    std::optional<std::string> clsidFromProgId(const std::string& progId) const override {
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(wideText(progId).c_str(), &clsid))) return std::nullopt;
        return textOfGuid(clsid);
    }

    std::optional<std::string> progIdFromClsid(const std::string& clsidText) const override {
        auto clsid = guidFromText(clsidText);
        if (!clsid) return std::nullopt;
        LPOLESTR progId = nullptr;
        if (FAILED(ProgIDFromCLSID(*clsid, &progId)) || !progId) return std::nullopt;
        std::string text = utf8Text(progId);
        CoTaskMemFree(progId);
        return text;
    }

    std::optional<std::string> typeLibraryPath(const std::string& libidText, uint16_t major,
                                               uint16_t minor) const override {
        auto libid = guidFromText(libidText);
        if (!libid) return std::nullopt;
        BSTR path = nullptr;
        if (FAILED(QueryPathOfRegTypeLib(*libid, major, minor, LOCALE_USER_DEFAULT, &path)) || !path)
            return std::nullopt;
        // Some versions count a closing zero in the string's length; the path
        // ends at the first one.
        std::string text = utf8Text(std::wstring(path));
        SysFreeString(path);
        return text;
    }

    std::string localPath(const std::string& registeredPath) const override { return registeredPath; }

private:
    bool comStarted_;
};

}  // namespace

// The prefix names a Wine prefix for the Linux reading of registry files;
// here the registry is the machine's own.
std::unique_ptr<ClassRegistry> openClassRegistry(const std::string&) {
    return std::make_unique<WindowsRegistry>();
}

}  // namespace mivra
