#pragma once

// Texts the installer shows, in one place so the windows and the tests agree.
namespace mivra::installer::texts {

inline constexpr const char* productName = "Mivra";
inline constexpr const char* mainWindowTitle = "Mivra Installer";
inline constexpr const char* folderDialogCaption = "Mivra Installation Folder";
inline constexpr const char* folderPrompt = "Select the Installation Folder";
inline constexpr const char* browseButton = "Browse...";
inline constexpr const char* folderPickerTitle = "Select folder for installing Mivra";
inline constexpr const char* folderFieldLabel = "Installation Folder";
inline constexpr const char* missingValueFormat = "Please specify a value for field \"%s\"";
inline constexpr const char* missingValueTitle = "Missing Data";
inline constexpr const char* agreementCaption = "License Agreement";
inline constexpr const char* agreementIntro =
    "Installing Mivra requires agreement with the following license terms.  Please click Yes if you agree with "
    "these terms.";
inline constexpr const char* agreementQuestion = "Do you agree with these license terms?";
inline constexpr const char* progressCaption = "Installation Progress";
inline constexpr const char* notDirectory = "Specified target is not a directory";
inline constexpr const char* notDirectoryTitle = "Not a directory";
inline constexpr const char* createQuestion = "Target folder does not exist, create? ";
inline constexpr const char* createQuestionTitle = "Create directory";
inline constexpr const char* cannotCreateSuffix = ": Could not create directory";
inline constexpr const char* cannotCreateTitle = "Directory Creation Error";
inline constexpr const char* cannotWriteFormat = "Could not write file %s";
inline constexpr const char* cannotWriteTitle = "I/O Error";
inline constexpr const char* pathTooLongSuffix = ": The path is longer than 259 characters";
inline constexpr const char* pathTooLongTitle = "Path Too Long";
inline constexpr const char* linkFormat =
    "%s is a link that this installation did not create.\nThe installer does not write through links; remove it "
    "or choose another folder.";
inline constexpr const char* linkTitle = "Unsafe Target";
inline constexpr const char* extractingFiles = "Extracting files";
inline constexpr const char* extractingFormat = "Extracting %s";
inline constexpr const char* complete = "Mivra installation is complete.";
inline constexpr const char* completeTitle = "Finished";
inline constexpr const char* uninstallItemTitle = "Uninstall Mivra";

}  // namespace mivra::installer::texts
