#include "UninstallerWindow.h"

#include <QMetaObject>
#include <QThread>

#include <memory>
#include <utility>

namespace mivra {

UninstallerWindow::UninstallerWindow(std::string uninstallerPath, UninstallListSource readList,
                                     UninstallSystem& system, UninstallerPrompts& prompts)
    : uninstallerPath_(std::move(uninstallerPath)),
      readList_(std::move(readList)),
      system_(system),
      prompts_(prompts)
{
    setObjectName("SarvikMivraUnInstallerWindow");
    setWindowTitle("Mivra Uninstaller");
    QMetaObject::invokeMethod(this, &UninstallerWindow::start, Qt::QueuedConnection);
}

UninstallerWindow::~UninstallerWindow()
{
    if (worker_)
        worker_->wait();
}

void UninstallerWindow::start()
{
    struct OwnedPrompts : UninstallPrompts {
        UninstallerPrompts& prompts;
        QWidget* owner;
        OwnedPrompts(UninstallerPrompts& p, QWidget* o) : prompts(p), owner(o) {}
        bool confirm(const std::string& question) override { return prompts.confirmUninstallation(owner, question); }
        void refuse(const std::string& message) override { prompts.reportRefusal(owner, message); }
    } owned(prompts_, this);
    if (!mayUninstall(uninstallerPath_, system_, owned)) {
        emit ended();
        return;
    }
    // The worker only touches files, the group and the registration; the
    // outcome comes back to this thread, which owns every message box.
    auto listRead = std::make_shared<bool>(false);
    worker_ = QThread::create([this, listRead] {
        const auto list = readList_(uninstallerPath_);
        if (!list)
            return;
        *listRead = true;
        removeInstallation(*list, uninstallerPath_, system_);
    });
    worker_->setParent(this);
    connect(worker_, &QThread::finished, this, [this, listRead] { workerDone(*listRead); });
    worker_->start();
}

void UninstallerWindow::workerDone(bool listRead)
{
    if (listRead)
        prompts_.reportFinished(this);
    else
        prompts_.reportFailure(this);
    emit ended();
}

}  // namespace mivra
