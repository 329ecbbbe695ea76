#pragma once

#include "Uninstallation.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mivra {

// Writes down each step of an uninstallation instead of carrying it out.
class RecordingUninstallSystem : public UninstallSystem {
public:
    void deleteFile(const std::string& path) override { record("delete " + path); }
    void removeFolder(const std::string& path) override { record("rmdir " + path); }
    void deleteProgramGroup() override { record("group"); }
    void removeRegistration() override { record("registration"); }
    void removeSelf(const std::string& uninstallerPath, const std::string& installationFolder) override
    {
        record("self " + uninstallerPath + " " + installationFolder);
    }

    std::optional<std::string> recordedInstallationFolder() override { return recordedFolder; }
    bool sameFolder(const std::string& a, const std::string& b) override { return a == b; }

    // What the registration names; "/inst/" for the usual uninstaller path.
    std::optional<std::string> recordedFolder = std::string("/inst/");

    std::vector<std::string> steps() const
    {
        std::lock_guard lock(mutex_);
        return steps_;
    }

private:
    void record(std::string step)
    {
        std::lock_guard lock(mutex_);
        steps_.push_back(std::move(step));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> steps_;
};

}  // namespace mivra
