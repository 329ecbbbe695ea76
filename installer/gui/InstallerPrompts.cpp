#include "InstallerPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace mivra::installer {

void MessageBoxPrompts::showMessage(QWidget* owner, const QString& text, const QString& title) {
    QMessageBox::information(owner, title, text, QMessageBox::Ok);
}

bool MessageBoxPrompts::askYesNo(QWidget* owner, const QString& text, const QString& title) {
    return QMessageBox::question(owner, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

std::optional<QString> MessageBoxPrompts::pickFolder(QWidget* owner, const QString& title) {
    const QString folder = QFileDialog::getExistingDirectory(owner, title);
    if (folder.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(folder);
}

}  // namespace mivra::installer
