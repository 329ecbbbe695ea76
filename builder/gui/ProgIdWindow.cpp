#include "ProgIdWindow.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "BuilderTexts.h"
#include "DialogHooks.h"

namespace mivra {

ProgIdWindow::ProgIdWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(builder::texts::progIdTitle));
    progId_ = new QLineEdit;
    auto* label = new QLabel(QString::fromUtf8(builder::texts::progIdLabel));
    label->setBuddy(progId_);
    progId_->setAccessibleName(label->text().remove(QLatin1Char('&')));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &ProgIdWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(progId_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    resize(380, sizeHint().height());
}

QString ProgIdWindow::progIdText() const { return progId_->text(); }

void ProgIdWindow::accept() {
    if (progId_->text().isEmpty()) {
        showMessage(this, QString::fromUtf8(builder::texts::progIdMissing));
        return;
    }
    QDialog::accept();
}

}  // namespace mivra
