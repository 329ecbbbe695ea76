#pragma once

#include <filesystem>

namespace mivra::linux_desktop {

// $XDG_DATA_HOME, else ~/.local/share; $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path dataHome();
std::filesystem::path configHome();

}  // namespace mivra::linux_desktop
