#include "SourcePicker.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "BuilderTexts.h"
#include "DialogHooks.h"
#include "ProgIdWindow.h"

namespace mivra {

namespace {
namespace texts = builder::texts;

// A list that shows whole rows only, whatever its height: what is left below
// the last whole row is an empty margin in the list's colour, not half a row.
class WholeRowList final : public QListWidget {
protected:
    void resizeEvent(QResizeEvent* event) override {
        const int row = count() > 0 ? sizeHintForRow(0) : fontMetrics().height();
        int height = contentsRect().height();
        if (horizontalScrollBar()->isVisible()) height -= horizontalScrollBar()->height();
        setViewportMargins(0, 0, 0, row > 0 && height > row ? height % row : 0);
        QListWidget::resizeEvent(event);
    }
};

QLabel* textLabel(const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}
}  // namespace

SourcePicker::SourcePicker(SourceServices services, QWidget* parent)
    : QDialog(parent),
      session_(std::move(services),
               [this](const std::string& message) { showMessage(this, QString::fromStdString(message)); }) {
    setWindowTitle(QString::fromUtf8(texts::pickerTitle));

    file_ = new QLineEdit;
    auto* fileLabel = new QLabel(QString::fromUtf8(texts::fileLabel));
    fileLabel->setBuddy(file_);
    file_->setAccessibleName(QString::fromUtf8(texts::fileLabel).remove(QLatin1Char('&')));
    browse_ = new QPushButton(QString::fromUtf8(texts::browseButton));
    list_ = new WholeRowList;
    list_->setUniformItemSizes(true);
    list_->setBackgroundRole(QPalette::Base);
    list_->setAutoFillBackground(true);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setAccessibleName(QString::fromUtf8(texts::listName));
    locate_ = new QPushButton(QString::fromUtf8(texts::locateButton));
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
    layout->addWidget(textLabel(texts::listPrompt));
    layout->addWidget(list_, 1);
    layout->addWidget(textLabel(texts::locatePrompt));
    auto* locateRow = new QHBoxLayout;
    locateRow->addWidget(locate_);
    locateRow->addStretch(1);
    layout->addLayout(locateRow);
    layout->addWidget(buttons);
    QWidget* order[] = {file_, browse_, list_, locate_, buttons};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    connect(browse_, &QPushButton::clicked, this, &SourcePicker::browse);
    connect(locate_, &QPushButton::clicked, this, &SourcePicker::locateByProgId);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (showing_ || row < 0) return;
        session_.chooseLine(static_cast<size_t>(row));
        showSession();
    });
    connect(file_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (showing_) return;
        session_.fileEdited(text.toStdString());
        showSession();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &SourcePicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The first opening in the process loads every registered library.
    if (session_.needsLoading()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        session_.load();
        QApplication::restoreOverrideCursor();
    }
    for (const std::string& line : session_.lines()) list_->addItem(QString::fromStdString(line));
    resize(560, 420);
}

void SourcePicker::showSession() {
    showing_ = true;
    QString file = QString::fromStdString(session_.fileText());
    if (file_->text() != file) file_->setText(file);
    auto line = session_.highlightedLine();
    int row = line ? static_cast<int>(*line) : -1;
    if (list_->currentRow() != row) list_->setCurrentRow(row);
    if (!line) list_->clearSelection();
    showing_ = false;
}

void SourcePicker::browse() {
    session_.browsed(chooseSourceFile(this).toStdString());
    showSession();
}

void SourcePicker::locateByProgId() {
    ProgIdWindow window(this);
    if (window.exec() != QDialog::Accepted) return;
    session_.locate(window.progIdText().toStdString());
    showSession();
}

void SourcePicker::accept() {
    fileText_ = file_->text();
    QDialog::accept();
}

}  // namespace mivra
