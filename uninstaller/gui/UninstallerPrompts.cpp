#include "UninstallerPrompts.h"

#include <QMessageBox>

namespace mivra {

bool MessageBoxPrompts::confirmUninstallation(QWidget* owner)
{
    return QMessageBox::question(owner, confirmationTitle, confirmationText, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxPrompts::reportFailure(QWidget* owner)
{
    QMessageBox::warning(owner, failureTitle, failureText, QMessageBox::Ok);
}

void MessageBoxPrompts::reportFinished(QWidget* owner)
{
    QMessageBox::information(owner, finishedTitle, finishedText, QMessageBox::Ok);
}

}  // namespace mivra
