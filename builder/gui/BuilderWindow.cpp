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

// The window's Generator shows every report of a run over the window.
class WindowGenerator final : public Generator {
public:
    explicit WindowGenerator(QWidget* owner) : owner_(owner) {}
    void reportError(const std::string& subject, const std::string& message) override {
        showMessage(owner_, QString::fromStdString(subject + ": " + message));
    }

private:
    QWidget* owner_;
};

QLabel* textLabel(const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}  // namespace

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
    : QDialog(parent), services_(std::move(services)), generator_(std::make_unique<WindowGenerator>(this)) {
    setWindowTitle(QStringLiteral("Mivra:  COM to Java JNI bridge builder"));
    setWindowIcon(programIcon());
    generator_->setClassRegistry(services_.registry);

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
    connect(library_, &QLineEdit::textEdited, this, [this] { libraryNameEdited_ = true; });
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

BuilderWindow::~BuilderWindow() { generator_->finish(); }

void BuilderWindow::applyDefaultLibraryName() {
    if (libraryNameEdited_) return;
    library_->setText(QString::fromStdString(defaultLibraryName(input_->text().toStdString())));
}

void BuilderWindow::selectSource() {
    SourcePicker picker(services_, this);
    if (picker.exec() != QDialog::Accepted) return;
    input_->setText(picker.fileText());
    applyDefaultLibraryName();
}

void BuilderWindow::browseOutput() {
    QString folder = chooseFolder(this, QStringLiteral("Select folder for output files"));
    if (!folder.isEmpty()) output_->setText(QDir::toNativeSeparators(folder));
}

void BuilderWindow::build() {
    GenerationInputs inputs{input_->text().toStdString(), output_->text().toStdString(),
                            package_->text().toStdString(), library_->text().toStdString()};
    const MappingMode mapping = fullMapping_->isChecked() ? MappingMode::Full : MappingMode::Basic;
    if (auto problem = checkBuildInputs(inputs, mapping)) {
        showMessage(this, QString::fromStdString(*problem));
        return;
    }
    generator_->inputs = inputs;
    generator_->openReadmeWhenDone = true;
    generator_->handles = longHandles_->isChecked() ? HandleType::Long : HandleType::Int;
    generator_->mapping = mapping;

    // The folder is made without its trailing separator; the Generator keeps
    // the text as typed. "/" alone stays: it is the root.
    QString folder = output_->text();
    if (folder.endsWith(QLatin1Char('\\')) || (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)) {
        folder.chop(1);
        output_->setText(folder);
    }
    if (!ensureFolder(folder, true)) return;
    if (runGeneration()) accept();
}

bool BuilderWindow::runGeneration() {
    bool succeeded = generator_->run();
    generator_->finish();
    return succeeded;
}

bool BuilderWindow::ensureFolder(const QString& path, bool ask) {
    std::function<bool(const std::string&)> question;
    if (ask) question = [this](const std::string& text) { return askOkCancel(this, QString::fromStdString(text)); };
    return mivra::ensureFolder(path.toStdString(), question, [this](const std::string& message) {
        showMessage(this, QString::fromStdString(message));
    });
}

void BuilderWindow::showHelp() {
    if (helpPagePath_.isEmpty()) {
        // Beside the program in a build and the self-extracting installation;
        // in the system's documentation folder for the Debian package.
        const QDir programFolder(QCoreApplication::applicationDirPath());
        QString page = programFolder.filePath(QStringLiteral("help/Index.html"));
        const QString packaged = programFolder.filePath(QStringLiteral("../share/doc/mivra/html/Index.html"));
        if (!QFileInfo::exists(page) && QFileInfo::exists(packaged)) page = QDir::cleanPath(packaged);
        helpPagePath_ = QDir::toNativeSeparators(page);
    }
    if (!openDocument(helpPagePath_)) showMessage(this, helpPagePath_ + QStringLiteral(": Cannot open"));
}

void BuilderWindow::showAbout() { showAboutBox(this); }

}  // namespace mivra
