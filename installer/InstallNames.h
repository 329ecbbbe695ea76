#pragma once

#include <string>
#include <string_view>

namespace mivra::installer {

// The programs keep their platform names inside the archive.
#ifdef _WIN32
inline constexpr std::string_view uninstallerFileName = "Uninstaller.exe";
inline constexpr std::string_view builderFileName = "Mivra.exe";
inline constexpr char pathSeparator = '\\';
// The menu entries' icons: Windows takes icon files, the freedesktop menus PNG.
inline constexpr std::string_view programIconName = "icon\\mivra.ico";
inline constexpr std::string_view uninstallIconName = "icon\\uninst.ico";
#else
inline constexpr std::string_view uninstallerFileName = "Uninstaller";
inline constexpr std::string_view builderFileName = "Mivra";
inline constexpr char pathSeparator = '/';
inline constexpr std::string_view programIconName = "icon\\mivra.png";
inline constexpr std::string_view uninstallIconName = "icon\\uninst.png";
#endif

// File names and extensions compare without regard to case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool endsWithIgnoringCase(std::string_view text, std::string_view suffix);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace mivra::installer
