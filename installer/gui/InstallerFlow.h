#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <memory>
#include <thread>

#include "Installation.h"
#include "InstallerDialogs.h"

namespace mivra::installer {

class InstallerPrompts;

// The installer's run on the user-interface thread: folder dialog, agreement,
// folder check, progress dialog with the worker thread behind it. Dialogs
// open window-modal without nested event loops; each step starts when the
// previous dialog finishes. finished() is emitted once, when the installer
// should quit.
class InstallerFlow : public QObject {
    Q_OBJECT
public:
    enum class State { starting, folderDialog, agreementDialog, folderCheck, progressDialog, quitting };

    InstallerFlow(QWidget* window, InstallerPrompts& prompts, InstallationServices services, std::string archivePath,
                  std::string defaultFolder);
    ~InstallerFlow() override;

    // Posts the start: the folder dialog opens once the event loop runs.
    void start();

    State state() const { return state_; }
    const std::string& targetFolder() const { return targetFolder_; }
    const InstallationReport& report() const { return report_; }
    FolderDialog* folderDialog() const { return folderDialog_; }
    AgreementDialog* agreementDialog() const { return agreementDialog_; }
    ProgressDialog* progressDialog() const { return progressDialog_; }

signals:
    void finished();
    // From the worker to this thread.
    void statusChanged(const QString& text);
    void progressChanged(int position);

private slots:
    void showFolderDialog();
    void showWorkerMessage(const QString& text, const QString& title);
    void workerDone();

private:
    class WorkerEvents;

    void folderDialogFinished(int result);
    void agreementFinished(int result);
    void progressDialogClosed();
    void quit();

    QWidget* window_;
    InstallerPrompts& prompts_;
    InstallationServices services_;
    std::string archivePath_;
    std::string defaultFolder_;
    std::string targetFolder_;
    State state_ = State::starting;
    QPointer<FolderDialog> folderDialog_;
    QPointer<AgreementDialog> agreementDialog_;
    QPointer<ProgressDialog> progressDialog_;
    std::unique_ptr<WorkerEvents> workerEvents_;
    std::thread worker_;
    std::atomic<bool> stopRequested_{false};
    InstallationReport report_;
};

}  // namespace mivra::installer
