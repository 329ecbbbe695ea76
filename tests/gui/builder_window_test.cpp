#include <filesystem>
#include <fstream>

#include <QAction>
#include <QCheckBox>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "BuildChecks.h"
#include "BuilderWindow.h"
#include "GuiTestSupport.h"
#include "TestPrefix.h"

using namespace mivra;
namespace fs = std::filesystem;

namespace {

// A window whose generation is counted instead of run, succeeding or not
// as the test says.
class CountingWindow : public BuilderWindow {
public:
    CountingWindow() : BuilderWindow(SourceServices{}) {}
    int runs = 0;
    bool runSucceeds = true;

protected:
    bool runGeneration() override {
        ++runs;
        return runSucceeds;
    }
};

class BuilderWindowTest : public ::testing::Test {
protected:
    void fill(const QString& in, const QString& out, const QString& package, const QString& library) {
        window.inputField()->setText(in);
        window.outputField()->setText(out);
        window.packageField()->setText(package);
        window.libraryField()->setText(library);
    }
    std::vector<QString> fields() const {
        return {window.inputField()->text(), window.outputField()->text(), window.packageField()->text(),
                window.libraryField()->text()};
    }

    DialogRecorder dialogs;
    TestPrefix scratch;
    CountingWindow window;
};

TEST_F(BuilderWindowTest, CaptionsTextsAndControls) {
    EXPECT_EQ(window.windowTitle(), "Mivra:  COM to Java JNI bridge builder");
    EXPECT_EQ(labelTexts(&window),
              (std::vector<QString>{
                  "This tool generates a Java wrapper for a given COM or ActiveX object, as well as a JNI "
                  "implementation module.",
                  "Enter the pathname for the COM or ActiveX library information.  Typically this is the path of the "
                  "COM .dll, .exe or .ocx file.  Sometimes it may be a separate  .tlb file.",
                  "Input",
                  "Enter below a folder where the output Java and C++ files are to be placed.  (This should be empty "
                  "to avoid confusion with existing files.  If folder doesn't exist it will be created.)",
                  "Output", "Specify a package name for generated Java files", "Package",
                  "Specify a name for the JNI Library", "Library"}));
    EXPECT_EQ(window.selectButton()->text(), "Select...");
    EXPECT_EQ(window.browseButton()->text(), "Browse...");
    EXPECT_EQ(window.buildButton()->text(), "Build");
    EXPECT_TRUE(window.buildButton()->isDefault());
    EXPECT_EQ(window.closeButton()->text(), "Close");
    EXPECT_EQ(shown(window.longHandlesBox()->text()), "64-bit Java (long handles)");
    EXPECT_FALSE(window.longHandlesBox()->isChecked());

    // Labels are tied to their fields so their mnemonics reach them.
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text().contains('&')) {
            EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
        }
    }
    // The About item comes after a separator in the window's menu.
    QList<QAction*> actions = window.actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1]->text(), "&About Mivra...");
    EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    for (QLineEdit* field : {window.inputField(), window.outputField(), window.packageField(), window.libraryField()})
        EXPECT_TRUE(field->text().isEmpty());
}

// The window, its About box, the programs of Windows and the Debian package
// show one icon, drawn at every size: the window's images are those of the
// package's PNG files.
TEST_F(BuilderWindowTest, IconIsTheProgramIconAtEverySize) {
    const QIcon icon = window.windowIcon();
    for (int size : {16, 20, 22, 24, 32, 40, 48, 64, 96, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QImage drawn(QString(MIVRA_ICON_DIR) + "/mivra-" + QString::number(size) + ".png");
        ASSERT_FALSE(drawn.isNull()) << size;
        EXPECT_EQ(icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << size;
    }
}

TEST_F(BuilderWindowTest, TabOrderRunsTopToBottom) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.inputField()->setFocus();
    std::vector<QWidget*> expected = {window.selectButton(), window.outputField(), window.browseButton(),
                                      window.packageField(),  window.libraryField(), window.longHandlesBox(),
                                      window.fullMappingBox(), window.buildButton(),  window.closeButton(),
                                      window.inputField()};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->metaObject()->className();
    }
}

// Every field ends at the same edge, with a button after it or not.
TEST_F(BuilderWindowTest, FieldsHaveOneWidth) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (QLineEdit* field : {window.outputField(), window.packageField(), window.libraryField()}) {
        EXPECT_EQ(field->x(), window.inputField()->x());
        EXPECT_EQ(field->width(), window.inputField()->width()) << field->accessibleName().toStdString();
    }
}

TEST_F(BuilderWindowTest, LibraryFollowsInputUntilTheUserEditsIt) {
    QLineEdit* input = window.inputField();
    QLineEdit* library = window.libraryField();
    const QString typed = "C:\\lib\\Foo.ocx";
    for (QChar c : typed) {
        QTest::keyClick(input, c.toLatin1());
        EXPECT_EQ(library->text().toStdString(), defaultLibraryName(input->text().toStdString()));
    }
    EXPECT_EQ(library->text(), "JFoo.dll");
    input->selectAll();
    QTest::keyClick(input, Qt::Key_Delete);
    EXPECT_EQ(library->text(), "");

    // A change the program makes is no edit by the user.
    library->setText("Program.dll");
    EXPECT_FALSE(window.libraryNameEdited());
    QTest::keyClicks(input, "x.dll");
    EXPECT_EQ(library->text(), "Jx.dll");

    QTest::keyClick(library, Qt::Key_Backspace);
    EXPECT_TRUE(window.libraryNameEdited());
    QTest::keyClicks(input, "other");
    EXPECT_EQ(library->text(), "Jx.dl");
    library->clear();
    QTest::keyClicks(input, "more");
    EXPECT_EQ(library->text(), "");
}

TEST_F(BuilderWindowTest, EachRefusalShowsItsMessageAndRunsNothing) {
    const QString out = QString::fromStdString(scratch.path());
    struct Case {
        QString in, out, package, library, message;
    } cases[] = {
        {"", out, "p", "Jx.dll", "Please specify a COM source"},
        {"x.dll", "", "p", "Jx.dll", "Please specify an output folder"},
        {"x.dll", out, "", "Jx.dll", "Please specify a package name for generated Java classes"},
        {"x.dll", out, "p", "", "Please specify a name for the JNI library file"},
        {"C:\\a\\Foo.dll", out, "p", "foo.DLL", "The JNI library must not have the same name as the COM DLL"},
        {"x.dll", out, " ", "Jx.dll", " : not a Java package name: \" \" cannot be part of a name"},
        {"/a/Foo.dll", out, "p", "/b/FOO", "The JNI library must not have the same name as the COM DLL"},
    };
    for (const Case& c : cases) {
        dialogs.messages.clear();
        fill(c.in, c.out, c.package, c.library);
        window.build();
        EXPECT_EQ(dialogs.messages, std::vector<QString>{c.message});
        EXPECT_EQ(window.runs, 0);
        EXPECT_EQ(fields(), (std::vector<QString>{c.in, c.out, c.package, c.library}));
    }
    // JFoo.dll is another name than Foo.dll.
    dialogs.messages.clear();
    fill("C:\\a\\Foo.dll", out, "p", "JFoo.dll");
    window.build();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window.runs, 1);
}

TEST_F(BuilderWindowTest, EnterBuildsAndEscapeCloses) {
    window.show();
    QTest::keyClick(window.inputField(), Qt::Key_Return);
    EXPECT_EQ(dialogs.messages, std::vector<QString>{"Please specify a COM source"});
    EXPECT_TRUE(window.isVisible());
    QTest::keyClick(window.inputField(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
}

TEST_F(BuilderWindowTest, EnsureFolderAsksOnceAndMakesParentsSilently) {
    const QString deep = QString::fromStdString((scratch.root() / "a" / "b" / "c").string());
    EXPECT_TRUE(window.ensureFolder(deep, true));
    EXPECT_EQ(dialogs.questions, std::vector<QString>{deep + " does not exist, create? "});
    EXPECT_TRUE(fs::is_directory(scratch.root() / "a" / "b" / "c"));
    EXPECT_TRUE(window.ensureFolder(deep, true));
    EXPECT_EQ(dialogs.questions.size(), 1u);

    dialogs.answer = false;
    const QString refused = QString::fromStdString((scratch.root() / "no" / "thanks").string());
    EXPECT_FALSE(window.ensureFolder(refused, true));
    EXPECT_FALSE(fs::exists(scratch.root() / "no"));

    std::ofstream(scratch.root() / "file") << "x";
    const QString file = QString::fromStdString((scratch.root() / "file").string());
    EXPECT_FALSE(window.ensureFolder(file, true));
    EXPECT_FALSE(window.ensureFolder(file + "/below", false));
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{file + ": is not a directory!", file + ": is not a directory!"}));
    EXPECT_TRUE(dialogs.messages.size() == 2);
}

TEST_F(BuilderWindowTest, SuccessfulRunClosesTheWindow) {
    const QString out = QString::fromStdString((scratch.root() / "out").string());
    fill("C:\\lib\\Foo.ocx", out + "/", "com.example", "JFoo.dll");
    window.longHandlesBox()->setChecked(true);
    window.show();
    window.build();
    EXPECT_EQ(window.runs, 1);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_FALSE(window.isVisible());
    // The Generator has the texts as typed; the folder was made without the
    // trailing separator.
    EXPECT_EQ(window.generator().inputs.outputFolder, (out + "/").toStdString());
    EXPECT_EQ(window.generator().inputs.sourcePath, "C:\\lib\\Foo.ocx");
    EXPECT_EQ(window.generator().inputs.packageName, "com.example");
    EXPECT_EQ(window.generator().inputs.libraryFileName, "JFoo.dll");
    EXPECT_TRUE(window.generator().openReadmeWhenDone);
    EXPECT_EQ(window.outputField()->text(), out);
    EXPECT_TRUE(fs::is_directory(scratch.root() / "out"));
}

// The full-bindings box chooses the mode of the run; while it is ticked the
// handle choice and the library name, which have no meaning there, are
// greyed out.
TEST_F(BuilderWindowTest, FullBindingsBoxChoosesTheMapping) {
    EXPECT_EQ(shown(window.fullMappingBox()->text()), "Full bindings on the Mivra runtime (Java only)");
    EXPECT_FALSE(window.fullMappingBox()->isChecked());
    const QString out = QString::fromStdString((scratch.root() / "out").string());
    for (bool full : {true, false}) {
        fill("C:\\lib\\Foo.ocx", out, "com.example", "JFoo.dll");
        window.fullMappingBox()->setChecked(full);
        EXPECT_EQ(window.longHandlesBox()->isEnabled(), !full);
        EXPECT_EQ(window.libraryField()->isEnabled(), !full);
        window.build();
        EXPECT_EQ(window.generator().mapping, full ? MappingMode::Full : MappingMode::Basic);
    }
    EXPECT_EQ(window.runs, 2);
    // Without a JNI library to build, its name is not checked.
    fill("C:\\lib\\Foo.ocx", out, "com.example", "Foo.dll");
    window.fullMappingBox()->setChecked(true);
    window.build();
    EXPECT_EQ(window.runs, 3);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(BuilderWindowTest, FailedOrRefusedRunKeepsTheWindowAndItsFields) {
    const QString out = QString::fromStdString((scratch.root() / "out").string());
    fill("/no/such/Source.dll", out, "com.example", "JSource.dll");
    window.show();
    window.runSucceeds = false;
    window.build();
    EXPECT_EQ(window.runs, 1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(fields(), (std::vector<QString>{"/no/such/Source.dll", out, "com.example", "JSource.dll"}));

    // Cancelling the folder question runs nothing.
    dialogs.answer = false;
    window.outputField()->setText(out + "/missing");
    window.build();
    EXPECT_EQ(window.runs, 1);
    EXPECT_TRUE(window.isVisible());
}

TEST(BuilderWindowRun, TheGeneratorsFailureIsShownOverTheWindow) {
    DialogRecorder dialogs;
    TestPrefix scratch;
    BuilderWindow window{SourceServices{}};
    const QString out = QString::fromStdString((scratch.root() / "out").string());
    window.inputField()->setText("/no/such/Source.dll");
    window.outputField()->setText(out);
    window.packageField()->setText("com.example");
    window.libraryField()->setText("JSource.dll");
    window.show();
    window.build();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].startsWith("/no/such/Source.dll: ")) << dialogs.messages[0].toStdString();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.inputField()->text(), "/no/such/Source.dll");
    EXPECT_EQ(window.outputField()->text(), out);
    EXPECT_EQ(window.packageField()->text(), "com.example");
    EXPECT_EQ(window.libraryField()->text(), "JSource.dll");
}

TEST_F(BuilderWindowTest, HelpOpensThePageBesideTheProgram) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F1);
    ASSERT_EQ(dialogs.opened.size(), 1u);
    const QString page = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/help/Index.html");
    EXPECT_EQ(dialogs.opened[0], page);
    EXPECT_TRUE(dialogs.messages.empty());

    dialogs.openSucceeds = false;
    window.showHelp();
    EXPECT_EQ(dialogs.messages, std::vector<QString>{page + ": Cannot open"});
}

TEST_F(BuilderWindowTest, BrowseFillsOutputWithTheChosenFolder) {
    dialogs.chosenFolder = "";
    window.browseOutput();
    EXPECT_EQ(window.outputField()->text(), "");
    EXPECT_EQ(dialogs.questions, std::vector<QString>{"Select folder for output files"});
    dialogs.chosenFolder = QString::fromStdString(scratch.path());
    window.browseOutput();
    EXPECT_EQ(window.outputField()->text(), QString::fromStdString(scratch.path()));
}

}  // namespace

namespace {

// Library names reach message boxes: they must show as typed, never as markup.
TEST(MessageBoxes, ShowTheirTextAsPlainText) {
    for (bool question : {false, true}) {
        whenModalOpens<QMessageBox>([](QMessageBox* box) {
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_EQ(box->text(), "<b>Name</b>: <a href=x>y</a>");
            box->reject();
        });
        if (question)
            askOkCancel(nullptr, "<b>Name</b>: <a href=x>y</a>");
        else
            showMessage(nullptr, "<b>Name</b>: <a href=x>y</a>");
    }
}

}  // namespace
