#include "AboutBox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "BuilderTexts.h"
#include "BuilderWindow.h"

namespace mivra {

void showAboutBox(QWidget* owner) {
    QDialog box(owner);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.setWindowTitle(QString::fromUtf8(builder::texts::aboutTitle));
    auto* icon = new QLabel;
    icon->setPixmap(programIcon().pixmap(32, 32));
    auto* version = new QLabel(QString::fromUtf8(builder::texts::aboutVersion));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(version, 1);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(row);
    layout->addWidget(buttons);
    box.exec();
}

}  // namespace mivra
