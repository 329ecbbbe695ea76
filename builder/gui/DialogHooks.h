#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace mivra {

// The program's name as message boxes show it: the executable's file name
// without its extension.
QString programName();

// Every message box, question, file or folder chooser and shell open of the
// builder windows goes through these functions. A test replaces them with
// recorders so that no modal loop runs.
struct DialogHooks {
    std::function<void(QWidget* owner, const QString& text)> message;
    std::function<bool(QWidget* owner, const QString& text)> question;  // true for OK
    std::function<QString(QWidget* owner, const QString& title)> chooseFolder;
    std::function<QString(QWidget* owner)> chooseFile;
    std::function<bool(const QString& path)> openDocument;
};

// The hooks in force; unset members fall back to the real dialogs.
DialogHooks& dialogHooks();

// A message box owned by owner: the program's name as caption, no icon, OK.
void showMessage(QWidget* owner, const QString& text);
// The same with OK and Cancel; true when the user chose OK.
bool askOkCancel(QWidget* owner, const QString& text);
// The folder browser; empty when nothing was chosen.
QString chooseFolder(QWidget* owner, const QString& title);
// The open-file dialog for COM sources; empty when nothing was chosen.
QString chooseSourceFile(QWidget* owner);
// Opens a document with the desktop's program for it.
bool openDocument(const QString& path);

}  // namespace mivra
