#include "NativeUninstallSystem.h"
#include "UninstallListReader.h"
#include "UninstallPaths.h"
#include "UninstallerPrompts.h"
#include "UninstallerWindow.h"

#include <QApplication>
#include <QDir>

// Uninstaller takes no arguments: what to remove is the list appended to
// its own file, relative to the folder it runs from.
int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const std::string uninstallerPath =
        QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toLocal8Bit().toStdString();

    mivra::NativeUninstallSystem system(mivra::installationFolderOf(uninstallerPath));
    mivra::MessageBoxPrompts prompts;
    mivra::UninstallerWindow window(uninstallerPath, mivra::readUninstallList, system, prompts);
    QObject::connect(&window, &mivra::UninstallerWindow::ended, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    return application.exec();
}
