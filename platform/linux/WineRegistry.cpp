#include "ClassRegistry.h"

namespace mivra {

namespace {

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

std::unique_ptr<ClassRegistry> openClassRegistry(const std::string&) {
    return std::make_unique<EmptyRegistry>();
}

}  // namespace mivra
