#include "UninstallerPrompts.h"

#include "Uninstallation.h"

#include <QMessageBox>

namespace mivra {

bool MessageBoxPrompts::confirmUninstallation(QWidget* owner, const std::string& question)
{
    return QMessageBox::question(owner, confirmationTitle, QString::fromStdString(question),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxPrompts::reportRefusal(QWidget* owner, const std::string& message)
{
    QMessageBox::warning(owner, refusalTitle, QString::fromStdString(message), QMessageBox::Ok);
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
