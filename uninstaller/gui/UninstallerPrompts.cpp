#include "UninstallerPrompts.h"

#include "Uninstallation.h"

#include <QMessageBox>

namespace mivra {

namespace {

// Qt centres a box on its owner, visible or not; the uninstaller's window is
// never shown, so its boxes go to the middle of the screen instead.
QMessageBox::StandardButton showBox(QWidget* owner, QMessageBox::Icon icon, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(icon, title, text, buttons, owner && owner->isVisible() ? owner : nullptr);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

bool MessageBoxPrompts::confirmUninstallation(QWidget* owner, const std::string& question)
{
    return showBox(owner, QMessageBox::Question, confirmationTitle, QString::fromStdString(question),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxPrompts::reportRefusal(QWidget* owner, const std::string& message)
{
    showBox(owner, QMessageBox::Warning, refusalTitle, QString::fromStdString(message), QMessageBox::Ok);
}

void MessageBoxPrompts::reportFailure(QWidget* owner)
{
    showBox(owner, QMessageBox::Warning, failureTitle, failureText, QMessageBox::Ok);
}

void MessageBoxPrompts::reportFinished(QWidget* owner)
{
    showBox(owner, QMessageBox::Information, finishedTitle, finishedText, QMessageBox::Ok);
}

}  // namespace mivra
