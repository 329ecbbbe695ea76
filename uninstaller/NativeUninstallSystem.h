#pragma once

#include "Uninstallation.h"

#include <string>

namespace mivra {

// The uninstallation carried out on this machine's files, program group and
// registration.
class NativeUninstallSystem : public UninstallSystem {
public:
    explicit NativeUninstallSystem(std::string installationFolder);

    void deleteFile(const std::string& path) override;
    void removeFolder(const std::string& path) override;
    void deleteProgramGroup() override;
    void removeRegistration() override;
    void removeSelf(const std::string& uninstallerPath, const std::string& installationFolder) override;
    std::optional<std::string> recordedInstallationFolder() override;
    bool sameFolder(const std::string& a, const std::string& b) override;

private:
    // True when every folder between the installation folder and the path
    // is a real folder, so that a link planted in the installation cannot
    // lead a deletion outside it.
    bool staysInside(const std::string& path) const;

    std::string installationFolder_;
};

}  // namespace mivra
