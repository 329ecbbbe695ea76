#include "DialogHooks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace mivra {

QString programName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

DialogHooks& dialogHooks() {
    static DialogHooks hooks;
    return hooks;
}

void showMessage(QWidget* owner, const QString& text) {
    if (dialogHooks().message) return dialogHooks().message(owner, text);
    QMessageBox box(QMessageBox::NoIcon, programName(), text, QMessageBox::Ok, owner);
    // Texts carry names from type libraries: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool askOkCancel(QWidget* owner, const QString& text) {
    if (dialogHooks().question) return dialogHooks().question(owner, text);
    QMessageBox box(QMessageBox::NoIcon, programName(), text, QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QString chooseFolder(QWidget* owner, const QString& title) {
    if (dialogHooks().chooseFolder) return dialogHooks().chooseFolder(owner, title);
    return QFileDialog::getExistingDirectory(owner, title);
}

QString chooseSourceFile(QWidget* owner) {
    if (dialogHooks().chooseFile) return dialogHooks().chooseFile(owner);
    // Qt takes a filter's patterns from the blank-separated list in its
    // parentheses, so the patterns are separated by blanks here.
    return QFileDialog::getOpenFileName(
        owner, QString(), QString(),
        QStringLiteral("COM DLL or Type library (*.tlb *.olb *.ocx *.dll *.exe);;All Files (*)"));
}

bool openDocument(const QString& path) {
    if (dialogHooks().openDocument) return dialogHooks().openDocument(path);
    if (!QFileInfo(path).isFile()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace mivra
