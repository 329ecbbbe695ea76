#include "NativeUninstallSystem.h"

#include "CleanupScript.h"
#include "FileSystem.h"
#include "ProgramManager.h"
#include "UninstallPaths.h"
#include "UninstallRegistration.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mivra {

namespace {

#ifdef _WIN32
bool isRealFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}


// The runtime's unique temporary name: in the TMP folder when it exists,
// otherwise in the root of drive C.
std::string temporaryName()
{
    char* name = _tempnam("C:\\", "T");
    if (!name)
        return {};
    std::string text(name);
    std::free(name);
    return text;
}

bool writeScript(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// Runs the script without a window and without waiting for it. It runs in
// its own folder: a script whose current folder is the installation folder
// could not remove that folder.
void startHidden(const std::string& scriptPath)
{
    char shell[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("ComSpec", shell, MAX_PATH);
    const std::string processor =
        (length > 0 && length < MAX_PATH) ? std::string(shell, length) : std::string("cmd.exe");
    // The outer quotes are the ones "/c" strips, so the path keeps its own.
    std::string command = "\"" + processor + "\" /c \"\"" + scriptPath + "\"\"";
    const auto separator = scriptPath.rfind('\\');
    const std::string folder = separator == std::string::npos ? std::string() : scriptPath.substr(0, separator + 1);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
#else
bool isRealFolder(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}
#endif

}  // namespace

NativeUninstallSystem::NativeUninstallSystem(std::string installationFolder)
    : installationFolder_(std::move(installationFolder))
{
}

bool NativeUninstallSystem::staysInside(const std::string& path) const
{
    if (path.size() <= installationFolder_.size() || path.compare(0, installationFolder_.size(), installationFolder_) != 0)
        return false;
    for (auto at = path.find(nativeSeparator, installationFolder_.size()); at != std::string::npos;
         at = path.find(nativeSeparator, at + 1)) {
        if (!isRealFolder(path.substr(0, at)))
            return false;
    }
    return true;
}

void NativeUninstallSystem::deleteFile(const std::string& path)
{
    if (!staysInside(path))
        return;
#ifdef _WIN32
    DeleteFileA(path.c_str());
#else
    ::unlink(path.c_str());
#endif
}

void NativeUninstallSystem::removeFolder(const std::string& path)
{
    if (!staysInside(path))
        return;
#ifdef _WIN32
    RemoveDirectoryA(path.c_str());
#else
    ::rmdir(path.c_str());
#endif
}

void NativeUninstallSystem::deleteProgramGroup()
{
    if (auto programManager = connectProgramManager())
        programManager->execute("[DeleteGroup(\"Mivra\")]");
}

void NativeUninstallSystem::removeRegistration()
{
    removeUninstallRegistration("Mivra");
}

std::optional<std::string> NativeUninstallSystem::recordedInstallationFolder()
{
    const auto registration = readUninstallRegistration("Mivra");
    if (!registration)
        return std::nullopt;
    const std::string folder = installationFolderOf(registration->uninstallString);
    if (folder.empty())
        return std::nullopt;
    return folder;
}

bool NativeUninstallSystem::sameFolder(const std::string& a, const std::string& b)
{
    return sameFile(a, b);
}

void NativeUninstallSystem::removeSelf(const std::string& uninstallerPath, const std::string& installationFolder)
{
#ifdef _WIN32
    // A running program cannot delete its own file: a script does it once
    // the uninstaller has ended. Without a temporary name or a writable
    // script there is no script, and the files stay.
    const std::string name = temporaryName();
    if (name.empty())
        return;
    const std::string scriptPath = cleanupScriptPath(name, fileExists);
    if (!writeScript(scriptPath, cleanupScriptText(uninstallerPath, installationFolder, scriptPath)))
        return;
    startHidden(scriptPath);
#else
    ::unlink(uninstallerPath.c_str());
    ::rmdir(installationFolder.c_str());
#endif
}

}  // namespace mivra
