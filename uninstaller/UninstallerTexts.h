#pragma once

// Texts the uninstaller shows, whatever its front-end.
namespace mivra {

inline constexpr const char* confirmationTitle = "Confirm Uninstallation";
inline constexpr const char* failureText =
    "Could not extract un-installation data.\nThe executable may have been corrupted.\n"
    "Please delete files and remove program group items manually.";
inline constexpr const char* failureTitle = "Uninstall Failed";
inline constexpr const char* finishedText = "Mivra has been removed from the system.";
inline constexpr const char* finishedTitle = "Finished";

}  // namespace mivra
