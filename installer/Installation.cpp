#include "Installation.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FileSystem.h"
#include "InstallNames.h"
#include "InstallPaths.h"
#include "InstallerTexts.h"
#include "ProcessServices.h"
#include "ProgramGroup.h"
#include "VariableSubstitution.h"

namespace mivra::installer {

namespace fs = std::filesystem;

InstallationServices InstallationServices::system() {
    InstallationServices services;
    services.connectProgramManager = [] { return mivra::connectProgramManager(); };
    services.writeRegistration = [](const std::string& product, const UninstallRegistration& values) {
        return writeUninstallRegistration(product, values);
    };
    services.shortPathName = [](const std::string& path) { return mivra::shortPathName(path); };
    services.driveOf = [](const std::string& path) { return mivra::driveOf(path); };
    services.shellOpen = [](const std::string& document, const std::string& folder) {
        return mivra::shellOpen(document, folder);
    };
    services.markExecutable = [](const std::string& path) { markExecutableIfProgram(path); };
    services.scriptsAsBat = mivra::scriptsAsBat();
    return services;
}

CopyResult copyEntry(ArchiveSource& source, const FileEntry& entry, std::ostream& out, const std::string& targetPath,
                     std::uint64_t& written, std::uint32_t totalBytes, InstallationEvents& events) {
    const bool slow = endsWithIgnoringCase(targetPath, ".jar");
    std::byte chunk[4096];
    std::uint64_t offset = entry.dataOffset;
    std::uint32_t remaining = entry.dataSize;
    while (remaining > 0) {
        const std::uint32_t length = std::min<std::uint32_t>(remaining, sizeof chunk);
        if (!source.read(offset, std::span(chunk, length))) return CopyResult::dataShort;
        out.write(reinterpret_cast<const char*>(chunk), length);
        if (!out) return CopyResult::writeFailed;
        offset += length;
        written += length;
        remaining -= length;
        if (totalBytes > 0) events.setProgress(static_cast<int>(written * 95 / totalBytes));
        if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (events.stopRequested()) return CopyResult::stopped;
    }
    return CopyResult::copied;
}

namespace {

std::string withoutTrailingSeparator(std::string folder) {
    if (folder.size() > 1 && (folder.back() == pathSeparator || folder.back() == '/')) folder.pop_back();
    return folder;
}

std::string localName(const std::string& name) {
    std::string out;
    for (char c : withoutLeadingSeparator(name)) out += c == '\\' ? pathSeparator : c;
    return out;
}

void replaceCmdByBat(std::string& text) {
    if (text.size() > 4 && endsWithIgnoringCase(text, ".cmd")) text.replace(text.size() - 4, 4, ".bat");
}

}  // namespace

InstallationReport runInstallation(const InstallationRequest& request, InstallationServices& services,
                                   InstallationEvents& events) {
    InstallationReport report;
    const auto failExtraction = [&] {
        events.showMessage(extractionFailedMessage, extractionFailedTitle);
        return report;
    };

    FileArchiveSource source(request.archivePath);
    if (!source.ok()) return failExtraction();
    events.setStatus(texts::extractingFiles);
    auto directory = readArchiveDirectory(source);
    if (!directory) return failExtraction();

    // Every path is built before anything is written, so an over-long one
    // stops the installation with the disk untouched.
    std::vector<std::string> folderPaths;
    std::vector<std::string> filePaths;
    for (const auto& folder : directory->folders) {
        auto path = installPath(request.targetFolder, folder);
        if (!path) {
            events.showMessage(withTrailingSeparator(request.targetFolder) + localName(folder) +
                                   texts::pathTooLongSuffix, texts::pathTooLongTitle);
            return report;
        }
        folderPaths.push_back(std::move(*path));
    }
    for (const auto& entry : directory->files) {
        auto path = installPath(request.targetFolder, entry.name);
        if (!path) {
            events.showMessage(withTrailingSeparator(request.targetFolder) + localName(entry.name) +
                                   texts::pathTooLongSuffix, texts::pathTooLongTitle);
            return report;
        }
        const std::string name(withoutLeadingSeparator(entry.name));
        if (services.scriptsAsBat && name.size() > 4 && endsWithIgnoringCase(name, ".cmd")) replaceCmdByBat(*path);
        filePaths.push_back(std::move(*path));
    }

    const auto showMessage = [&](const std::string& text, const std::string& title) {
        events.showMessage(text, title);
    };
    // Nothing this installation writes may pass through a link someone
    // planted in the target folder.
    const auto refuseLink = [&](const std::string& path) {
        const auto link = linkOnTheWay(request.targetFolder, path);
        if (link) events.showMessage(formatText(texts::linkFormat, *link), texts::linkTitle);
        return link.has_value();
    };
    for (const auto& path : folderPaths)
        if (refuseLink(path) || !makeFolderPath(path, false, showMessage)) return report;

    std::uint64_t written = 0;
    for (std::size_t i = 0; i < directory->files.size(); ++i) {
        if (events.stopRequested()) {
            report.outcome = InstallationOutcome::stopped;
            return report;
        }
        const auto& entry = directory->files[i];
        const std::string& path = filePaths[i];
        if (entry.name.size() >= uninstallerFileName.size() && endsWithIgnoringCase(entry.name, uninstallerFileName))
            report.uninstallerPath = path;
        if (refuseLink(path) || !makeFolderPath(path, true, showMessage)) return report;
        report.installedPaths.push_back(path);

        std::error_code error;
        if (fs::exists(path, error) && (endsWithIgnoringCase(path, ".ini") || endsWithIgnoringCase(path, ".dat")))
            continue;
        if (fs::is_regular_file(fs::symlink_status(path, error))) fs::remove(path, error);
        auto file = NewFile::create(path);
        if (!file) {
            events.showMessage(formatText(texts::cannotWriteFormat, path), texts::cannotWriteTitle);
            return report;
        }
        std::ostream out(file.get());
        events.setStatus(formatText(texts::extractingFormat, path));
        switch (copyEntry(source, entry, out, path, written, directory->totalBytes, events)) {
        case CopyResult::copied:
            break;
        case CopyResult::dataShort:
            return failExtraction();
        case CopyResult::writeFailed:
            events.showMessage(formatText(texts::cannotWriteFormat, path), texts::cannotWriteTitle);
            return report;
        case CopyResult::stopped:
            report.outcome = InstallationOutcome::stopped;
            return report;
        }
        if (!file->close()) {
            events.showMessage(formatText(texts::cannotWriteFormat, path), texts::cannotWriteTitle);
            return report;
        }
        services.markExecutable(path);
    }

    const std::string shortFolder = services.shortPathName(request.targetFolder);
    SubstitutionValues values;
    values.targetFolder = withoutTrailingSeparator(shortFolder);
    values.targetDrive = services.driveOf(shortFolder);
    values.separator = std::string(1, pathSeparator);
    for (std::size_t i = 0; i < directory->files.size(); ++i)
        if (directory->files[i].substitute) substituteFile(report.installedPaths[i], values);

    report.itemPrefix = withTrailingSeparator(shortFolder);
    report.groupItems = directory->groupItems;
    if (!report.uninstallerPath.empty()) {
        for (auto it = directory->files.rbegin(); it != directory->files.rend(); ++it) {
            if (it->name.size() >= uninstallerFileName.size() && endsWithIgnoringCase(it->name, uninstallerFileName)) {
                report.groupItems.push_back({texts::uninstallItemTitle, std::string(withoutLeadingSeparator(it->name))});
                break;
            }
        }
        services.writeRegistration(texts::productName, {texts::productName, report.uninstallerPath});
    }
    if (services.scriptsAsBat)
        for (auto& item : report.groupItems) replaceCmdByBat(item.target);
    if (auto manager = services.connectProgramManager())
        createProgramGroup(*manager, report.itemPrefix, report.groupItems);

    events.showMessage(texts::complete, texts::completeTitle);
    services.shellOpen(report.itemPrefix + "Readme.txt", request.targetFolder);
    report.outcome = InstallationOutcome::completed;
    return report;
}

}  // namespace mivra::installer
