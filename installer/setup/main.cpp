// setup: installs Mivra from the archive appended to this program's own file.
#include <QApplication>

#include "InstallPaths.h"
#include "InstallerFlow.h"
#include "InstallerPrompts.h"
#include "InstallerWindow.h"
#include "ProcessServices.h"

int main(int argc, char** argv) {
    using namespace mivra::installer;
    QApplication application(argc, argv);
    InstallerWindow window;
    MessageBoxPrompts prompts;
    InstallerFlow flow(&window, prompts, InstallationServices::system(), mivra::ownProgramPath(),
                       defaultInstallFolder());
    QObject::connect(&flow, &InstallerFlow::finished, &application, &QApplication::quit, Qt::QueuedConnection);
    window.showMaximized();
    flow.start();
    return application.exec();
}
