#include "BuilderWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "AboutBox.h"
#include "BuildChecks.h"
#include "BuilderTexts.h"
#include "DialogHooks.h"
#include "ProgramIconImages.h"
#include "SourcePicker.h"

namespace mivra {

namespace {

namespace texts = builder::texts;

QString qText(const char* text) { return QString::fromUtf8(text); }

QLabel* textLabel(const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}  // namespace

class BuilderWindow::QtFrontEnd final : public FrontEnd {
public:
    explicit QtFrontEnd(BuilderWindow& window) : window_(window) {}
    void showMessage(const std::string& text) override { mivra::showMessage(&window_, QString::fromStdString(text)); }
    bool askOkCancel(const std::string& question) override {
        return mivra::askOkCancel(&window_, QString::fromStdString(question));
    }
    std::string chooseFolder(const std::string& title) override {
        return QDir::toNativeSeparators(mivra::chooseFolder(&window_, QString::fromStdString(title))).toStdString();
    }
    std::optional<std::string> chooseSource() override {
        SourcePicker picker(window_.services_, &window_);
        if (picker.exec() != QDialog::Accepted) return std::nullopt;
        return picker.fileText().toStdString();
    }
    bool openDocument(const std::string& path) override { return mivra::openDocument(QString::fromStdString(path)); }
    std::optional<std::string> fieldText(BuildField field) override { return fieldOf(field)->text().toStdString(); }
    void showFieldText(BuildField field, const std::string& text) override {
        fieldOf(field)->setText(QString::fromStdString(text));
    }
    void enableChoices(bool library, bool handles) override {
        window_.library_->setEnabled(library);
        window_.longHandles_->setEnabled(handles);
    }

private:
    QLineEdit* fieldOf(BuildField field) const {
        switch (field) {
        case BuildField::Input: return window_.input_;
        case BuildField::Output: return window_.output_;
        case BuildField::Package: return window_.package_;
        case BuildField::Library: break;
        }
        return window_.library_;
    }

    BuilderWindow& window_;
};

// The window's runGeneration stays replaceable (tests count runs instead).
class BuilderWindow::WindowSession final : public BuildSession {
public:
    WindowSession(FrontEnd& frontEnd, BuilderWindow& window) : BuildSession(frontEnd), window_(window) {}
    bool runOnce() { return BuildSession::runGeneration(); }

protected:
    bool runGeneration() override { return window_.runGeneration(); }

private:
    BuilderWindow& window_;
};

QIcon programIcon() {
    QIcon icon;
    for (const ProgramIconImage& image : programIconImages()) {
        QPixmap pixmap;
        if (pixmap.loadFromData(image.png, static_cast<uint>(image.length), "PNG")) icon.addPixmap(pixmap);
    }
    return icon;
}

BuilderWindow::BuilderWindow(SourceServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      frontEnd_(std::make_unique<QtFrontEnd>(*this)),
      session_(std::make_unique<WindowSession>(*frontEnd_, *this)) {
    setWindowTitle(qText(texts::windowTitle));
    setWindowIcon(programIcon());
    session_->options.registry = services_.registry;
    session_->options.openReadme = true;

    input_ = new QLineEdit;
    output_ = new QLineEdit;
    package_ = new QLineEdit;
    library_ = new QLineEdit;
    select_ = new QPushButton(qText(texts::selectButton));
    browse_ = new QPushButton(qText(texts::browseButton));
    longHandles_ = new QCheckBox(qText(texts::longHandlesBox));
    fullMapping_ = new QCheckBox(qText(texts::fullMappingBox));
    build_ = new QPushButton(qText(texts::buildButton));
    close_ = new QPushButton(qText(texts::closeButton));
    auto* help = new QPushButton(qText(texts::helpButton));
    help->setVisible(false);
    for (QPushButton* button : {select_, browse_, close_, help}) button->setAutoDefault(false);
    build_->setDefault(true);

    // One grid: every field ends at the same edge, whether a button follows
    // it or not, as in the Windows layout.
    auto* grid = new QGridLayout;
    int row = 0;
    auto prompt = [&](const char* text) { grid->addWidget(textLabel(text), row++, 0, 1, 3); };
    auto fieldRow = [&](const char* caption, QLineEdit* field, QPushButton* button) {
        auto* label = new QLabel(qText(caption));
        label->setBuddy(field);
        label->setMinimumWidth(60);
        field->setAccessibleName(label->text().remove(QLatin1Char('&')));
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        if (button) grid->addWidget(button, row, 2);
        ++row;
    };
    prompt(texts::introduction);
    prompt(texts::inputPrompt);
    fieldRow(texts::inputLabel, input_, select_);
    prompt(texts::outputPrompt);
    fieldRow(texts::outputLabel, output_, browse_);
    prompt(texts::packagePrompt);
    fieldRow(texts::packageLabel, package_, nullptr);
    prompt(texts::libraryPrompt);
    fieldRow(texts::libraryLabel, library_, nullptr);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    auto* options = new QHBoxLayout;
    options->addWidget(longHandles_);
    options->addWidget(fullMapping_);
    options->addStretch(1);
    layout->addLayout(options);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(build_);
    buttons->addWidget(close_);
    buttons->addWidget(help);
    layout->addLayout(buttons);

    // Top to bottom, each field before its button.
    QWidget* order[] = {input_, select_, output_, browse_, package_, library_, longHandles_, fullMapping_, build_, close_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    // textEdited, not textChanged: only the user's own typing counts.
    connect(input_, &QLineEdit::textEdited, this, [this] { session_->inputEdited(); });
    connect(library_, &QLineEdit::textEdited, this, [this] { session_->libraryEdited(); });
    connect(fullMapping_, &QCheckBox::toggled, this,
            [this](bool full) { session_->setMapping(full ? MappingMode::Full : MappingMode::Basic); });
    connect(longHandles_, &QCheckBox::toggled, this,
            [this](bool wide) { session_->options.handles = wide ? HandleType::Long : HandleType::Int; });
    connect(select_, &QPushButton::clicked, this, &BuilderWindow::selectSource);
    connect(browse_, &QPushButton::clicked, this, &BuilderWindow::browseOutput);
    connect(build_, &QPushButton::clicked, this, &BuilderWindow::build);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, &BuilderWindow::showHelp);
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, &BuilderWindow::showHelp);

    // Windows on Linux have no system menu; the window's context menu
    // carries the About item instead.
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    auto* about = new QAction(qText(texts::aboutItem), this);
    connect(about, &QAction::triggered, this, &BuilderWindow::showAbout);
    addAction(separator);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    resize(560, sizeHint().height());
}

BuilderWindow::~BuilderWindow() = default;

bool BuilderWindow::libraryNameEdited() const { return session_->libraryNameEdited(); }

Generator& BuilderWindow::generator() { return session_->generator(); }

void BuilderWindow::selectSource() { session_->selectSource(); }

void BuilderWindow::browseOutput() { session_->browseOutput(); }

void BuilderWindow::build() {
    if (session_->build() == BuildSession::Outcome::Succeeded) accept();
}

bool BuilderWindow::runGeneration() { return session_->runOnce(); }

bool BuilderWindow::ensureFolder(const QString& path, bool ask) { return session_->ensureFolder(path.toStdString(), ask); }

void BuilderWindow::showHelp() { session_->showHelp(); }

void BuilderWindow::showAbout() { showAboutBox(this); }

}  // namespace mivra
