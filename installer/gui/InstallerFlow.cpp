#include "InstallerFlow.h"

#include <QCoreApplication>

#include "InstallPaths.h"
#include "InstallerDialogs.h"
#include "InstallerPrompts.h"

namespace mivra::installer {

// Runs on the worker thread: status and progress travel as queued signals,
// a message box blocks the worker until the user has dismissed it.
class InstallerFlow::WorkerEvents final : public InstallationEvents {
public:
    explicit WorkerEvents(InstallerFlow& flow) : flow_(flow) {}

    void setStatus(const std::string& text) override { emit flow_.statusChanged(QString::fromStdString(text)); }
    void setProgress(int position) override {
        if (position != lastPosition_) emit flow_.progressChanged(lastPosition_ = position);
    }
    void showMessage(const std::string& text, const std::string& title) override {
        QMetaObject::invokeMethod(&flow_, "showWorkerMessage", Qt::BlockingQueuedConnection,
                                  Q_ARG(QString, QString::fromStdString(text)),
                                  Q_ARG(QString, QString::fromStdString(title)));
    }
    bool stopRequested() override { return flow_.stopRequested_.load(); }

private:
    InstallerFlow& flow_;
    int lastPosition_ = -1;
};

InstallerFlow::InstallerFlow(QWidget* window, InstallerPrompts& prompts, InstallationServices services,
                             std::string archivePath, std::string defaultFolder)
    : window_(window),
      prompts_(prompts),
      services_(std::move(services)),
      archivePath_(std::move(archivePath)),
      defaultFolder_(std::move(defaultFolder)) {}

InstallerFlow::~InstallerFlow() {
    stopRequested_ = true;
    // A worker blocked on a message box would wait for this thread forever.
    while (worker_.joinable() && state_ == State::progressDialog) QCoreApplication::processEvents();
    if (worker_.joinable()) worker_.join();
}

void InstallerFlow::start() { QMetaObject::invokeMethod(this, "showFolderDialog", Qt::QueuedConnection); }

void InstallerFlow::showFolderDialog() {
    state_ = State::folderDialog;
    folderDialog_ = new FolderDialog(window_, prompts_, QString::fromStdString(defaultFolder_));
    folderDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(folderDialog_, &QDialog::finished, this, &InstallerFlow::folderDialogFinished);
    folderDialog_->open();
}

void InstallerFlow::folderDialogFinished(int result) {
    if (result != QDialog::Accepted) return quit();
    targetFolder_ = folderDialog_->folder().toStdString();
    state_ = State::agreementDialog;
    agreementDialog_ = new AgreementDialog(window_);
    agreementDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(agreementDialog_, &QDialog::finished, this, &InstallerFlow::agreementFinished);
    agreementDialog_->open();
}

void InstallerFlow::agreementFinished(int result) {
    if (result != QDialog::Accepted) return quit();
    state_ = State::folderCheck;
    const auto show = [this](const std::string& text, const std::string& title) {
        prompts_.showMessage(window_, QString::fromStdString(text), QString::fromStdString(title));
    };
    const auto ask = [this](const std::string& text, const std::string& title) {
        return prompts_.askYesNo(window_, QString::fromStdString(text), QString::fromStdString(title));
    };
    if (!checkTargetFolder(targetFolder_, show, ask)) return quit();

    state_ = State::progressDialog;
    progressDialog_ = new ProgressDialog(window_);
    connect(this, &InstallerFlow::statusChanged, progressDialog_, &ProgressDialog::setStatus);
    connect(this, &InstallerFlow::progressChanged, progressDialog_, &ProgressDialog::setProgress);
    connect(progressDialog_, &QDialog::rejected, this, &InstallerFlow::progressDialogClosed);
    progressDialog_->open();

    workerEvents_ = std::make_unique<WorkerEvents>(*this);
    const InstallationRequest request{archivePath_, targetFolder_};
    worker_ = std::thread([this, request] {
        report_ = runInstallation(request, services_, *workerEvents_);
        QMetaObject::invokeMethod(this, "workerDone", Qt::QueuedConnection);
    });
}

void InstallerFlow::showWorkerMessage(const QString& text, const QString& title) {
    prompts_.showMessage(progressDialog_ ? static_cast<QWidget*>(progressDialog_) : window_, text, title);
}

void InstallerFlow::progressDialogClosed() {
    // The worker stops after its current chunk and then reports done.
    stopRequested_ = true;
}

void InstallerFlow::workerDone() {
    if (worker_.joinable()) worker_.join();
    if (progressDialog_) {
        progressDialog_->accept();
        progressDialog_->deleteLater();
    }
    quit();
}

void InstallerFlow::quit() {
    if (state_ == State::quitting) return;
    state_ = State::quitting;
    emit finished();
}

}  // namespace mivra::installer
