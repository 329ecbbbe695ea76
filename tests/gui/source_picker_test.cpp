#include <filesystem>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "BuilderWindow.h"
#include "FakeReader.h"
#include "GuiTestSupport.h"
#include "ProgIdWindow.h"
#include "SourcePicker.h"
#include "TestPrefix.h"

using namespace mivra;
namespace fs = std::filesystem;

namespace {

std::string typeLibEntry(int n, const std::string& file) {
    char guid[40];
    std::snprintf(guid, sizeof guid, "{%08X-0000-0000-0000-000000000000}", n);
    return std::string("[Software\\\\Classes\\\\TypeLib\\\\") + guid + "\\\\1.0\\\\0\\\\win64] 1\n@=\"C:\\\\libs\\\\" +
           file + "\"\n";
}

class SourcePickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        prefix.writeDriveFile("libs/zeta.tlb", "LIB:Zeta|Last of all");
        prefix.writeDriveFile("libs/alpha.tlb", "LIB:alpha");
        prefix.writeDriveFile("libs/mid.tlb", "LIB:Middle|Between");
        prefix.writeDriveFile("servers/server.dll", "x");
        prefix.writeSystem(typeLibEntry(1, "zeta.tlb") + typeLibEntry(2, "alpha.tlb") + typeLibEntry(3, "mid.tlb") +
                           "[Software\\\\Classes\\\\Some.App\\\\CLSID] 1\n"
                           "@=\"{10000000-0000-0000-0000-000000000001}\"\n"
                           "[Software\\\\Classes\\\\CLSID\\\\{10000000-0000-0000-0000-000000000001}\\\\"
                           "InprocServer32] 1\n@=\"C:\\\\servers\\\\server.dll\"\n");
        registry = openClassRegistry(prefix.path());
        services.registry = registry.get();
        services.makeReader = [] { return std::unique_ptr<TypeLibraryReader>(new FakeReader); };
        services.libraries = &libraries;
        services.checkFile = [this](const std::string& path, const LookupReport& report) {
            checked.push_back(path);
            if (path.find("good") != std::string::npos) return true;
            report("File does not contain a COM interface definition.");
            return false;
        };
    }
    std::string libFile(const char* name) {
        return fs::canonical(prefix.root() / "drive_c" / "libs" / name).string();
    }

    DialogRecorder dialogs;
    TestPrefix prefix;
    std::unique_ptr<ClassRegistry> registry;
    RegisteredLibraryList libraries;
    SourceServices services;
    std::vector<std::string> checked;
};

TEST_F(SourcePickerTest, CaptionsAndTexts) {
    SourcePicker picker(services);
    EXPECT_EQ(picker.windowTitle(), "Select COM/ActiveX Object");
    EXPECT_EQ(labelTexts(&picker),
              (std::vector<QString>{
                  "File",
                  "If the COM or ActiveX object is registered, you can select its name from this list.  Otherwise, "
                  "click the \"Browse...\" button to locate the .DLL, .EXE, .OCX or the .TLB file that contains the "
                  "type library information for the COM/ActiveX object.",
                  "If you know the \"ProgID\" (a string typically of the form \"application.objtype\") of the COM or "
                  "ActiveX object, click this button to locate its file."}));
    EXPECT_EQ(picker.browseButton()->text(), "Browse...");
    EXPECT_EQ(picker.locateButton()->text(), "Locate by ProgID");
    EXPECT_EQ(picker.libraryList()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    std::vector<QString> buttons;
    for (QPushButton* button : picker.findChildren<QPushButton*>()) buttons.push_back(shown(button->text()));
    EXPECT_NE(std::find(buttons.begin(), buttons.end(), "OK"), buttons.end());
    EXPECT_NE(std::find(buttons.begin(), buttons.end(), "Cancel"), buttons.end());

    ProgIdWindow progIdWindow;
    EXPECT_EQ(progIdWindow.windowTitle(), "Locate COM/ActiveX object by ProgID");
    EXPECT_EQ(labelTexts(&progIdWindow), std::vector<QString>{"ProgID:"});
}

TEST_F(SourcePickerTest, ListIsSortedAndAChosenLineFillsFile) {
    SourcePicker picker(services);
    QListWidget* list = picker.libraryList();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "alpha");
    EXPECT_EQ(list->item(1)->text(), "Middle:   Between");
    EXPECT_EQ(list->item(2)->text(), "Zeta:   Last of all");
    list->setCurrentRow(2);
    EXPECT_EQ(picker.fileField()->text().toStdString(), libFile("zeta.tlb"));
    list->setCurrentRow(0);
    EXPECT_EQ(picker.fileField()->text().toStdString(), libFile("alpha.tlb"));

    // The list is read once per process: a second picker shows the same lines.
    EXPECT_TRUE(libraries.filled);
    prefix.writeSystem("");
    SourcePicker again(services);
    EXPECT_EQ(again.libraryList()->count(), 3);
    EXPECT_TRUE(dialogs.messages.empty());
}

// Whatever height the window has, the list shows whole rows: the last one
// is never cut in half.
TEST_F(SourcePickerTest, ListShowsWholeRowsAtEveryHeight) {
    SourcePicker picker(services);
    QListWidget* list = picker.libraryList();
    ASSERT_GT(list->count(), 0);
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    const int row = list->visualItemRect(list->item(0)).height();
    ASSERT_GT(row, 0);
    for (int height = 400; height < 400 + row; height += 3) {
        picker.resize(picker.width(), height);
        QApplication::processEvents();
        EXPECT_EQ(list->viewport()->height() % row, 0) << "window height " << height;
    }
}

TEST_F(SourcePickerTest, BrowseTakesOnlyFilesWithATypeLibrary) {
    SourcePicker picker(services);
    picker.fileField()->setText("before");
    dialogs.chosenFile = "/somewhere/bad.dll";
    picker.browse();
    EXPECT_EQ(picker.fileField()->text(), "before");
    EXPECT_EQ(dialogs.messages, std::vector<QString>{"File does not contain a COM interface definition."});
    dialogs.chosenFile = "/somewhere/good.tlb";
    picker.browse();
    EXPECT_EQ(picker.fileField()->text(), "/somewhere/good.tlb");
    dialogs.chosenFile = "";
    picker.browse();
    EXPECT_EQ(checked, (std::vector<std::string>{"/somewhere/bad.dll", "/somewhere/good.tlb"}));
}

TEST_F(SourcePickerTest, LocateByProgIdFillsFileOrShowsWhy) {
    SourcePicker picker(services);
    // A line chosen earlier is no longer highlighted once File names another file.
    picker.libraryList()->setCurrentRow(1);
    whenModalOpens<ProgIdWindow>([](ProgIdWindow* window) {
        window->progIdField()->setText("Some.App");
        window->accept();
    });
    picker.locateByProgId();
    EXPECT_EQ(picker.fileField()->text().toStdString(),
              fs::canonical(prefix.root() / "drive_c" / "servers" / "server.dll").string());
    EXPECT_EQ(picker.libraryList()->currentRow(), -1);
    EXPECT_TRUE(picker.libraryList()->selectedItems().isEmpty());

    whenModalOpens<ProgIdWindow>([](ProgIdWindow* window) {
        window->progIdField()->setText("No.Such");
        window->accept();
    });
    picker.locateByProgId();
    EXPECT_EQ(dialogs.messages, std::vector<QString>{"No.Such: this id was not found"});
    EXPECT_EQ(picker.fileField()->text().toStdString(),
              fs::canonical(prefix.root() / "drive_c" / "servers" / "server.dll").string());
}

TEST_F(SourcePickerTest, ProgIdWindowRefusesAnEmptyField) {
    ProgIdWindow window;
    window.show();
    window.accept();
    EXPECT_EQ(dialogs.messages, std::vector<QString>{"Please enter ProgID"});
    EXPECT_TRUE(window.isVisible());
    window.progIdField()->setText("A.B");
    window.accept();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.progIdText(), "A.B");
}

TEST_F(SourcePickerTest, SelectFillsInputOnOkAndCancelKeepsIt) {
    BuilderWindow window(services);
    window.inputField()->setText("kept.dll");
    whenModalOpens<SourcePicker>([](SourcePicker* picker) {
        picker->libraryList()->setCurrentRow(1);
        picker->reject();
    });
    window.selectSource();
    EXPECT_EQ(window.inputField()->text(), "kept.dll");

    whenModalOpens<SourcePicker>([](SourcePicker* picker) {
        picker->libraryList()->setCurrentRow(1);
        picker->accept();
    });
    window.selectSource();
    EXPECT_EQ(window.inputField()->text().toStdString(), libFile("mid.tlb"));
    EXPECT_EQ(window.libraryField()->text(), "Jmid.dll");

    // OK with an empty File empties Input, and Library while it is the default.
    whenModalOpens<SourcePicker>([](SourcePicker* picker) { picker->accept(); });
    window.selectSource();
    EXPECT_EQ(window.inputField()->text(), "");
    EXPECT_EQ(window.libraryField()->text(), "");
}

}  // namespace
