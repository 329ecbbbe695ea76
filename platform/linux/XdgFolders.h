#pragma once

#include <filesystem>

namespace mivra::linux_desktop {

// $XDG_DATA_HOME, else ~/.local/share; $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path dataHome();
std::filesystem::path configHome();

// Removes a folder the desktop files were kept in, and then each folder
// above it, as long as they are empty and lie inside $HOME (the home itself
// stays), so that removing the last file leaves no empty folders behind.
void removeEmptyFoldersInHome(const std::filesystem::path& folder);

}  // namespace mivra::linux_desktop
