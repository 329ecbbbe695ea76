#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveReader.h"
#include "ProgramManager.h"
#include "UninstallRegistration.h"

namespace mivra::installer {

// How the worker talks to whoever shows the installation: status line,
// progress position (0 to 100), message boxes that return once dismissed,
// and whether the user asked to stop.
class InstallationEvents {
public:
    virtual ~InstallationEvents() = default;
    virtual void setStatus(const std::string& text) = 0;
    virtual void setProgress(int position) = 0;
    virtual void showMessage(const std::string& text, const std::string& title) = 0;
    virtual bool stopRequested() = 0;
};

// The operating-system services the installation uses; system() gives this
// platform's, tests replace single members.
struct InstallationServices {
    std::function<std::unique_ptr<ProgramManager>()> connectProgramManager;
    std::function<bool(const std::string& product, const UninstallRegistration&)> writeRegistration;
    std::function<std::string(const std::string&)> shortPathName;
    std::function<std::string(const std::string&)> driveOf;
    std::function<bool(const std::string& document, const std::string& workingFolder)> shellOpen;
    std::function<void(const std::string&)> markExecutable;
    bool scriptsAsBat = false;

    static InstallationServices system();
};

struct InstallationRequest {
    std::string archivePath;   // the file carrying the archive, normally the running program
    std::string targetFolder;  // checked and created before the worker starts
};

enum class InstallationOutcome { completed, failed, stopped };

// What one run did, for the caller and the tests.
struct InstallationReport {
    InstallationOutcome outcome = InstallationOutcome::failed;
    std::vector<std::string> installedPaths;
    std::string uninstallerPath;
    std::vector<GroupItem> groupItems;
    std::string itemPrefix;
};

// Copies one entry's bytes to out in chunks of 4096, adding each chunk to
// written and reporting written * 95 / total after it; ".jar" targets pause
// 10 ms per chunk. Stops (returning false) when the data runs short, the
// output fails or a stop is requested after a chunk.
enum class CopyResult { copied, dataShort, writeFailed, stopped };
CopyResult copyEntry(ArchiveSource& source, const FileEntry& entry, std::ostream& out, const std::string& targetPath,
                     std::uint64_t& written, std::uint32_t totalBytes, InstallationEvents& events);

// The worker's whole job: extraction, substitution, registration, program
// group, completion message and read-me. Every failure is shown through
// events and ends the run.
InstallationReport runInstallation(const InstallationRequest& request, InstallationServices& services,
                                   InstallationEvents& events);

}  // namespace mivra::installer
