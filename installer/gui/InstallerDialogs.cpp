#include "InstallerDialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "InstallPaths.h"
#include "InstallerPrompts.h"
#include "LicenceLayout.h"
#include "InstallerTexts.h"

extern const char mivraLicenseText[];

namespace mivra::installer {

QSize dialogUnits(int width, int height) { return {width * 6 / 4, height * 13 / 8}; }

CentredDialog::CentredDialog(QWidget* parent) : QDialog(parent) {
    if (parent) parent->installEventFilter(this);
}

void CentredDialog::centre() {
    auto* owner = parentWidget();
    if (!owner) return;
    // move() places the frame, so the frame is what gets centred.
    const QSize outer = frameGeometry().size();
    const QPoint offset((owner->width() - outer.width()) / 2, (owner->height() - outer.height()) / 2);
    move(owner->mapToGlobal(offset));
}

void CentredDialog::showEvent(QShowEvent* event) {
    centre();
    QDialog::showEvent(event);
    QTimer::singleShot(0, this, &CentredDialog::centre);
}

bool CentredDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && isVisible() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::WindowStateChange))
        centre();
    return QDialog::eventFilter(watched, event);
}

FolderDialog::FolderDialog(QWidget* parent, InstallerPrompts& prompts, const QString& defaultFolder)
    : CentredDialog(parent), prompts_(prompts), defaultFolder_(defaultFolder) {
    setWindowTitle(texts::folderDialogCaption);
    setFixedSize(dialogUnits(208, 82));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(texts::folderPrompt, this));
    auto* row = new QHBoxLayout;
    folder_ = new QLineEdit(this);
    folder_->setMaxLength(static_cast<int>(maxPathLength));
    browse_ = new QPushButton(texts::browseButton, this);
    browse_->setAutoDefault(false);
    row->addWidget(folder_, 1);
    row->addWidget(browse_);
    layout->addLayout(row);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    ok_ = new QPushButton("OK", this);
    ok_->setDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, &FolderDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &FolderDialog::reject);
    connect(browse_, &QPushButton::clicked, this, [this] {
        if (auto picked = prompts_.pickFolder(this, texts::folderPickerTitle)) folder_->setText(*picked);
    });
}

QString FolderDialog::folder() const { return folder_->text(); }

void FolderDialog::showEvent(QShowEvent* event) {
    folder_->setText(defaultFolder_);
    CentredDialog::showEvent(event);
}

void FolderDialog::accept() {
    if (folder_->text().isEmpty()) {
        prompts_.showMessage(this, QString::fromStdString(formatText(texts::missingValueFormat, texts::folderFieldLabel)),
                             texts::missingValueTitle);
        return;
    }
    QDialog::accept();
}

AgreementDialog::AgreementDialog(QWidget* parent) : CentredDialog(parent) {
    setWindowTitle(texts::agreementCaption);
    setFixedSize(dialogUnits(276, 218));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(texts::agreementIntro, this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setPlainText(agreementText());
    text_->moveCursor(QTextCursor::Start);
    layout->addWidget(text_, 1);
    layout->addWidget(new QLabel(texts::agreementQuestion, this));
    auto* buttons = new QHBoxLayout;
    yes_ = new QPushButton("Yes", this);
    yes_->setDefault(true);
    no_ = new QPushButton("No", this);
    no_->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(yes_);
    buttons->addWidget(no_);
    layout->addLayout(buttons);
    yes_->setFocus();
    connect(yes_, &QPushButton::clicked, this, &AgreementDialog::accept);
    connect(no_, &QPushButton::clicked, this, &AgreementDialog::reject);
}

ProgressDialog::ProgressDialog(QWidget* parent) : CentredDialog(parent) {
    setWindowTitle(texts::progressCaption);
    setFixedSize(dialogUnits(259, 93));
    auto* layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    status_->setMinimumWidth(1);
    layout->addWidget(status_);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    layout->addWidget(bar_);
    layout->addStretch(1);
    // Present but hidden, as the dialog's layout has them.
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    ok->hide();
    auto* cancel = new QPushButton("Cancel", this);
    cancel->hide();
}

void ProgressDialog::setStatus(const QString& text) { status_->setText(text); }

void ProgressDialog::setProgress(int position) { bar_->setValue(position); }

QString agreementText() { return QString::fromStdString(licenceParagraphs(mivraLicenseText, "\n")); }

}  // namespace mivra::installer
