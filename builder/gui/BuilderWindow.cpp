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
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "AboutBox.h"
#include "BuildChecks.h"
#include "DialogHooks.h"
#include "SourcePicker.h"

namespace mivra {

namespace {

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

private:
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
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x2f, 0x5d, 0x8a));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(size * 2 / 3);
        painter.setFont(font);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("J"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

BuilderWindow::BuilderWindow(SourceServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      frontEnd_(std::make_unique<QtFrontEnd>(*this)),
      session_(std::make_unique<WindowSession>(*frontEnd_, *this)) {
    setWindowTitle(QStringLiteral("Mivra:  COM to Java JNI bridge builder"));
    setWindowIcon(programIcon());
    session_->generator().setClassRegistry(services_.registry);
    session_->generator().openReadmeWhenDone = true;

    input_ = new QLineEdit;
    output_ = new QLineEdit;
    package_ = new QLineEdit;
    library_ = new QLineEdit;
    select_ = new QPushButton(QStringLiteral("Select..."));
    browse_ = new QPushButton(QStringLiteral("Browse..."));
    longHandles_ = new QCheckBox(QStringLiteral("&64-bit Java (long handles)"));
    fullMapping_ = new QCheckBox(QStringLiteral("&Full bindings on the Mivra runtime (Java only)"));
    build_ = new QPushButton(QStringLiteral("Build"));
    close_ = new QPushButton(QStringLiteral("Close"));
    auto* help = new QPushButton(QStringLiteral("&Help"));
    help->setVisible(false);
    for (QPushButton* button : {select_, browse_, close_, help}) button->setAutoDefault(false);
    build_->setDefault(true);

    auto fieldRow = [](const char* caption, QLineEdit* field, QPushButton* button) {
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(QString::fromUtf8(caption));
        label->setBuddy(field);
        label->setMinimumWidth(60);
        field->setAccessibleName(label->text().remove(QLatin1Char('&')));
        row->addWidget(label);
        row->addWidget(field, 1);
        if (button) row->addWidget(button);
        return row;
    };

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(textLabel(
        "This tool generates a Java wrapper for a given COM or ActiveX object, as well as a JNI implementation "
        "module."));
    layout->addWidget(textLabel(
        "Enter the pathname for the COM or ActiveX library information.  Typically this is the path of the COM "
        ".dll, .exe or .ocx file.  Sometimes it may be a separate  .tlb file."));
    layout->addLayout(fieldRow("&Input", input_, select_));
    layout->addWidget(textLabel(
        "Enter below a folder where the output Java and C++ files are to be placed.  (This should be empty to avoid "
        "confusion with existing files.  If folder doesn't exist it will be created.)"));
    layout->addLayout(fieldRow("&Output", output_, browse_));
    layout->addWidget(textLabel("Specify a package name for generated Java files"));
    layout->addLayout(fieldRow("&Package", package_, nullptr));
    layout->addWidget(textLabel("Specify a name for the JNI Library"));
    layout->addLayout(fieldRow("&Library", library_, nullptr));
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
    connect(input_, &QLineEdit::textEdited, this, &BuilderWindow::applyDefaultLibraryName);
    connect(library_, &QLineEdit::textEdited, this, [this](const QString& text) {
        readFields();
        session_->libraryEdited(text.toStdString());
    });
    // The full bindings run on the shared runtime, which serves 32- and
    // 64-bit Java alike and needs no JNI library: neither handles nor the
    // library name are a choice there.
    connect(fullMapping_, &QCheckBox::toggled, longHandles_, &QWidget::setDisabled);
    connect(fullMapping_, &QCheckBox::toggled, library_, &QWidget::setDisabled);
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
    auto* about = new QAction(QStringLiteral("&About Mivra..."), this);
    connect(about, &QAction::triggered, this, &BuilderWindow::showAbout);
    addAction(separator);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    resize(560, sizeHint().height());
}

BuilderWindow::~BuilderWindow() = default;

bool BuilderWindow::libraryNameEdited() const { return session_->libraryNameEdited(); }

Generator& BuilderWindow::generator() { return session_->generator(); }

void BuilderWindow::readFields() {
    session_->fields = {input_->text().toStdString(), output_->text().toStdString(), package_->text().toStdString(),
                        library_->text().toStdString()};
}

void BuilderWindow::showFields() {
    auto show = [](QLineEdit* field, const std::string& text) {
        QString shown = QString::fromStdString(text);
        if (field->text() != shown) field->setText(shown);
    };
    show(input_, session_->fields.sourcePath);
    show(output_, session_->fields.outputFolder);
    show(package_, session_->fields.packageName);
    show(library_, session_->fields.libraryFileName);
}

void BuilderWindow::applyDefaultLibraryName() {
    readFields();
    session_->inputEdited(input_->text().toStdString());
    showFields();
}

void BuilderWindow::selectSource() {
    readFields();
    session_->selectSource();
    showFields();
}

void BuilderWindow::browseOutput() {
    readFields();
    session_->browseOutput();
    showFields();
}

void BuilderWindow::build() {
    readFields();
    session_->generator().handles = longHandles_->isChecked() ? HandleType::Long : HandleType::Int;
    session_->generator().mapping = fullMapping_->isChecked() ? MappingMode::Full : MappingMode::Basic;
    BuildSession::Outcome outcome = session_->build();
    showFields();
    if (outcome == BuildSession::Outcome::Succeeded) accept();
}

bool BuilderWindow::runGeneration() { return session_->runOnce(); }

bool BuilderWindow::ensureFolder(const QString& path, bool ask) { return session_->ensureFolder(path.toStdString(), ask); }

void BuilderWindow::showHelp() { session_->showHelp(); }

void BuilderWindow::showAbout() { showAboutBox(this); }

}  // namespace mivra
