#include "SourcePicker.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogHooks.h"
#include "ProgIdWindow.h"

namespace mivra {

namespace {
QLabel* textLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}
}  // namespace

SourcePicker::SourcePicker(SourceServices services, QWidget* parent) : QDialog(parent), services_(std::move(services)) {
    setWindowTitle(QStringLiteral("Select COM/ActiveX Object"));

    file_ = new QLineEdit;
    auto* fileLabel = new QLabel(QStringLiteral("&File"));
    fileLabel->setBuddy(file_);
    file_->setAccessibleName(QStringLiteral("File"));
    browse_ = new QPushButton(QStringLiteral("Browse..."));
    list_ = new QListWidget;
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setAccessibleName(QStringLiteral("Registered libraries"));
    locate_ = new QPushButton(QStringLiteral("Locate by ProgID"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    for (QPushButton* button : {browse_, locate_}) button->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fileRow);
    layout->addWidget(textLabel(QStringLiteral(
        "If the COM or ActiveX object is registered, you can select its name from this list.  Otherwise, click the "
        "\"Browse...\" button to locate the .DLL, .EXE, .OCX or the .TLB file that contains the type library "
        "information for the COM/ActiveX object.")));
    layout->addWidget(list_, 1);
    layout->addWidget(textLabel(QStringLiteral(
        "If you know the \"ProgID\" (a string typically of the form \"application.objtype\") of the COM or ActiveX "
        "object, click this button to locate its file.")));
    auto* locateRow = new QHBoxLayout;
    locateRow->addWidget(locate_);
    locateRow->addStretch(1);
    layout->addLayout(locateRow);
    layout->addWidget(buttons);
    QWidget* order[] = {file_, browse_, list_, locate_, buttons};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    connect(browse_, &QPushButton::clicked, this, &SourcePicker::browse);
    connect(locate_, &QPushButton::clicked, this, &SourcePicker::locateByProgId);
    connect(list_, &QListWidget::itemSelectionChanged, this, &SourcePicker::chooseLine);
    connect(buttons, &QDialogButtonBox::accepted, this, &SourcePicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The first opening in the process loads every registered library.
    RegisteredLibraryList& list = libraries();
    if (!list.filled && services_.registry) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        listRegisteredLibraries(*services_.registry, services_.makeReader, reportHere(), list);
        QApplication::restoreOverrideCursor();
    }
    for (size_t position : sortedLibraryOrder(list)) {
        auto* item = new QListWidgetItem(QString::fromStdString(list.displayTexts[position]), list_);
        item->setData(Qt::UserRole, static_cast<qulonglong>(position));
    }
    resize(560, 420);
}

RegisteredLibraryList& SourcePicker::libraries() const {
    return services_.libraries ? *services_.libraries : registeredLibraryList();
}

LookupReport SourcePicker::reportHere() {
    return [this](const std::string& message) { showMessage(this, QString::fromStdString(message)); };
}

void SourcePicker::chooseLine() {
    QList<QListWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;
    size_t position = selected.front()->data(Qt::UserRole).toULongLong();
    const RegisteredLibraryList& list = libraries();
    if (position < list.paths.size()) file_->setText(QString::fromStdString(list.paths[position]));
}

void SourcePicker::browse() {
    QString chosen = chooseSourceFile(this);
    if (chosen.isEmpty()) return;
    if (services_.checkFile && services_.checkFile(chosen.toStdString(), reportHere()))
        file_->setText(chosen);
}

void SourcePicker::locateByProgId() {
    ProgIdWindow window(this);
    if (window.exec() != QDialog::Accepted) return;
    if (!services_.registry) return;
    if (auto server = locateServerByProgId(*services_.registry, window.progIdText().toStdString(), reportHere()))
        file_->setText(QString::fromStdString(*server));
}

void SourcePicker::accept() {
    fileText_ = file_->text();
    QDialog::accept();
}

}  // namespace mivra
