#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace mivra::installer {

class InstallerPrompts;

// Dialog sizes are given in dialog units of an 8-point system font:
// 4 horizontal units are 6 pixels, 8 vertical units 13 pixels.
QSize dialogUnits(int width, int height);

// Centres a dialog on its parent's client area when it opens, and again
// while it is open whenever that area moves or changes size: the window
// manager maximises the background only after the first dialog has opened,
// and the frame's size is known only once the dialog is on screen.
class CentredDialog : public QDialog {
    Q_OBJECT
public:
    explicit CentredDialog(QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void centre();
};

class FolderDialog : public CentredDialog {
    Q_OBJECT
public:
    FolderDialog(QWidget* parent, InstallerPrompts& prompts, const QString& defaultFolder);
    QLineEdit* folderEdit() const { return folder_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QString folder() const;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    InstallerPrompts& prompts_;
    QString defaultFolder_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

class AgreementDialog : public CentredDialog {
    Q_OBJECT
public:
    explicit AgreementDialog(QWidget* parent);
    QPlainTextEdit* agreementView() const { return text_; }
    QPushButton* yesButton() const { return yes_; }
    QPushButton* noButton() const { return no_; }

private:
    QPlainTextEdit* text_;
    QPushButton* yes_;
    QPushButton* no_;
};

class ProgressDialog : public CentredDialog {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* parent);
    QLabel* statusLine() const { return status_; }
    QProgressBar* progressBar() const { return bar_; }

public slots:
    void setStatus(const QString& text);
    void setProgress(int position);

private:
    QLabel* status_;
    QProgressBar* bar_;
};

// The licence the agreement dialog shows.
QString agreementText();

}  // namespace mivra::installer
