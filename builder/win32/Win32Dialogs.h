#pragma once

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "ClassRegistry.h"
#include "PickerSession.h"

// The pieces of the Win32 builder window: message boxes, the common
// dialogs, field texts and the source picker.
namespace mivra::win32 {

// The program's name as message boxes show it: the executable's file name
// without its extension.
std::string programName();

// A message box owned by owner: the program's name as caption, no icon, OK.
void showMessage(HWND owner, const std::string& text);
// The same with OK and Cancel; true when the user chose OK.
bool askOkCancel(HWND owner, const std::string& text);
// The shell's folder browser; empty when nothing was chosen.
std::string chooseFolder(HWND owner, const std::string& title);
// The open-file dialog for COM sources; empty when nothing was chosen.
std::string chooseSourceFile(HWND owner);

std::string windowText(HWND window);
void setWindowText(HWND window, const std::string& text);

// Sets a dialog's caption and the texts of its controls by id.
void setDialogTexts(HWND dialog, const char* caption, std::initializer_list<std::pair<int, const char*>> texts);

// The program icon at a size (the large and the small icon).
HICON programIcon(int size);

// The source picker over owner: the File text when it closed with OK.
std::optional<std::string> runSourcePicker(HWND owner, const SourceServices& services);

// The About box over owner.
void showAboutBox(HWND owner);

}  // namespace mivra::win32
