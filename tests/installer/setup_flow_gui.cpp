#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QThread>

#include "InstallNames.h"
#include "InstallPaths.h"
#include "InstallerDialogs.h"
#include "InstallerFlow.h"
#include "InstallerPrompts.h"
#include "InstallerWindow.h"
#include "TestArchives.h"
#include "TestDesktop.h"
#include "UninstallRegistration.h"

namespace mivra::installer {
namespace {

namespace fs = std::filesystem;
using test::bytesOf;
using test::readText;

class ScriptedPrompts : public InstallerPrompts {
public:
    void showMessage(QWidget*, const QString& text, const QString& title) override {
        messages.push_back((title + ": " + text).toStdString());
    }
    bool askYesNo(QWidget*, const QString& text, const QString& title) override {
        questions.push_back((title + ": " + text).toStdString());
        return answer;
    }
    std::optional<QString> pickFolder(QWidget*, const QString& title) override {
        pickerTitles.push_back(title.toStdString());
        return picked;
    }
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> pickerTitles;
    bool answer = true;
    std::optional<QString> picked;
};

bool waitUntil(const std::function<bool()>& condition, int milliseconds = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// One installer run: background window, flow, scripted prompts, a packed archive.
class SetupRun {
public:
    explicit SetupRun(const ArchiveContent& content = {}) {
        auto archive = buildInstallerArchive(bytesOf("setup image"), content);
        EXPECT_TRUE(archive.ok());
        archivePath = work / "setup";
        test::writeBytes(archivePath, *archive);
        services = InstallationServices::system();
        services.shellOpen = [this](const std::string& document, const std::string& folder) {
            opened.push_back(document + "|" + folder);
            return true;
        };
        window.resize(800, 600);
        window.show();
        flow = std::make_unique<InstallerFlow>(&window, prompts, services, archivePath, defaultFolder());
        QObject::connect(flow.get(), &InstallerFlow::finished, [this] { ++finishedCount; });
        flow->start();
    }

    static std::string defaultFolder() { return defaultInstallFolder(); }

    FolderDialog* folderDialogShown() {
        EXPECT_TRUE(waitUntil([&] { return flow->folderDialog() && flow->folderDialog()->isVisible(); }));
        return flow->folderDialog();
    }
    AgreementDialog* agreementShown() {
        EXPECT_TRUE(waitUntil([&] { return flow->agreementDialog() && flow->agreementDialog()->isVisible(); }));
        return flow->agreementDialog();
    }
    void chooseFolder(const std::string& folder) {
        auto* dialog = folderDialogShown();
        ASSERT_TRUE(dialog);
        dialog->folderEdit()->setText(QString::fromStdString(folder));
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    }
    void agree(bool yes = true) {
        auto* dialog = agreementShown();
        ASSERT_TRUE(dialog);
        QTest::mouseClick(yes ? dialog->yesButton() : dialog->noButton(), Qt::LeftButton);
    }
    bool finished() {
        return waitUntil([&] { return finishedCount > 0; });
    }

    test::DesktopFolders desktop;  // HOME and XDG folders first: the default folder lives there
    test::TempFolder work;
    std::string archivePath;
    ScriptedPrompts prompts;
    InstallationServices services;
    std::vector<std::string> opened;
    InstallerWindow window;
    std::unique_ptr<InstallerFlow> flow;
    int finishedCount = 0;
};

std::vector<std::string> entriesUnder(const fs::path& folder) {
    std::vector<std::string> out;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error))
        out.push_back(fs::relative(entry.path(), folder).generic_string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(SetupFlow, CancelAndNoTouchNothing) {
    {
        SetupRun run;
        auto* dialog = run.folderDialogShown();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->windowTitle(), "Mivra Installation Folder");
        EXPECT_EQ(dialog->folderEdit()->text().toStdString(), SetupRun::defaultFolder());
        QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
        ASSERT_TRUE(run.finished());
        EXPECT_EQ(run.flow->state(), InstallerFlow::State::quitting);
        EXPECT_FALSE(run.flow->agreementDialog());
        EXPECT_FALSE(fs::exists(SetupRun::defaultFolder()));
        EXPECT_EQ(entriesUnder(run.desktop / "data"), std::vector<std::string>{});
    }
    {
        SetupRun run(test::shippedLayout());
        run.chooseFolder(SetupRun::defaultFolder());
        auto* agreement = run.agreementShown();
        ASSERT_TRUE(agreement);
        EXPECT_EQ(agreement->windowTitle(), "License Agreement");
        EXPECT_NE(agreement->agreementView()->toPlainText().indexOf("Copyright (c) 2026 The Mivra developers"), -1);
        EXPECT_TRUE(agreement->agreementView()->isReadOnly());
        // The view wraps the licence's paragraphs and opens at their start,
        // nothing selected.
        EXPECT_NE(agreement->agreementView()->toPlainText().indexOf("obtaining a copy of this software"), -1);
        EXPECT_FALSE(agreement->agreementView()->textCursor().hasSelection());
        EXPECT_EQ(agreement->agreementView()->textCursor().position(), 0);
        EXPECT_EQ(agreement->agreementView()->verticalScrollBar()->value(), 0);
        agreement->close();  // the close box counts as "No"
        ASSERT_TRUE(run.finished());
        EXPECT_FALSE(fs::exists(SetupRun::defaultFolder()));
        EXPECT_TRUE(run.prompts.messages.empty() && run.prompts.questions.empty());
        EXPECT_EQ(entriesUnder(run.desktop / "data"), std::vector<std::string>{});
    }
}

TEST(SetupFlow, EmptyFieldKeepsTheDialogOpenAndBrowseFillsIt) {
    SetupRun run;
    auto* dialog = run.folderDialogShown();
    ASSERT_TRUE(dialog);
    dialog->folderEdit()->clear();
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    EXPECT_EQ(run.prompts.messages, std::vector<std::string>{"Missing Data: Please specify a value for field \"Installation Folder\""});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->folderEdit()->maxLength(), 259);

    QTest::mouseClick(dialog->browseButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog->folderEdit()->text().isEmpty());
    run.prompts.picked = QString::fromStdString(run.work / "picked");
    QTest::mouseClick(dialog->browseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->folderEdit()->text().toStdString(), run.work / "picked");
    EXPECT_EQ(run.prompts.pickerTitles,
              (std::vector<std::string>{"Select folder for installing Mivra", "Select folder for installing Mivra"}));
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(run.finished());
}

TEST(SetupFlow, MissingFoldersAndFileTargets) {
    {
        // The default folder is made without a question.
        SetupRun run;
        run.chooseFolder(SetupRun::defaultFolder());
        run.agree();
        ASSERT_TRUE(run.finished());
        EXPECT_TRUE(fs::is_directory(SetupRun::defaultFolder()));
        EXPECT_TRUE(run.prompts.questions.empty());
        EXPECT_EQ(run.prompts.messages, std::vector<std::string>{"Finished: Mivra installation is complete."});
    }
    {
        // Another missing folder brings the question; "No" leaves it missing.
        SetupRun run;
        run.prompts.answer = false;
        run.chooseFolder(run.work / "elsewhere/deeper");
        run.agree();
        ASSERT_TRUE(run.finished());
        EXPECT_EQ(run.prompts.questions, std::vector<std::string>{"Create directory: Target folder does not exist, create? "});
        EXPECT_FALSE(fs::exists(run.work / "elsewhere"));
        EXPECT_FALSE(run.flow->progressDialog());
    }
    {
        SetupRun run;
        std::ofstream(run.work / "a-file") << "x";
        run.chooseFolder(run.work / "a-file");
        run.agree();
        ASSERT_TRUE(run.finished());
        EXPECT_EQ(run.prompts.messages, std::vector<std::string>{"Not a directory: Specified target is not a directory"});
        EXPECT_EQ(readText(run.work / "a-file"), "x");
        EXPECT_FALSE(run.flow->progressDialog());
    }
}

ArchiveContent installableLayout() {
    auto content = test::shippedLayout();
    for (auto& file : content.files) {
        if (file.name == builderFileName || file.name == uninstallerFileName)
            file.bytes = bytesOf("#!/bin/sh\necho " + file.name + "\n");
    }
    return content;
}

TEST(SetupFlow, FullInstallationIntoAnotherFolder) {
    SetupRun run(installableLayout());
    const std::string target = run.work / "Program Files/Mivra";
    run.chooseFolder(target);
    run.agree();
    ASSERT_TRUE(waitUntil([&] { return run.flow->progressDialog() != nullptr; }));
    QPointer<ProgressDialog> progress = run.flow->progressDialog();
    EXPECT_EQ(progress->windowTitle(), "Installation Progress");
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(run.prompts.questions, std::vector<std::string>{"Create directory: Target folder does not exist, create? "});
    EXPECT_EQ(run.prompts.messages, std::vector<std::string>{"Finished: Mivra installation is complete."});
    if (progress) {
        EXPECT_EQ(progress->progressBar()->value(), 95);
        EXPECT_EQ(progress->statusLine()->text().toStdString(), "Extracting " + target + "/" + std::string(uninstallerFileName));
    }

    EXPECT_EQ(readText(fs::path(target) / "sample" / "jbrowse.dll").size(), 5000u);
    EXPECT_EQ(readText(fs::path(target) / "Readme.txt"), "Mivra\nInstalled in " + target + "/help on drive .\n");
    EXPECT_TRUE((fs::status(fs::path(target) / "Mivra").permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_TRUE((fs::status(fs::path(target) / "help" / "Index.html").permissions() & fs::perms::owner_exec) ==
                fs::perms::none);

    const auto registration = readUninstallRegistration("Mivra");
    ASSERT_TRUE(registration);
    EXPECT_EQ(registration->displayName, "Mivra");
    EXPECT_EQ(registration->uninstallString, target + "/Uninstaller");

    EXPECT_EQ(entriesUnder(fs::path(run.desktop / "data") / "applications"),
              (std::vector<std::string>{"mivra-mivra-mivra-documentation.desktop", "mivra-mivra-mivra.desktop",
                                        "mivra-mivra-uninstall-mivra.desktop"}));
    EXPECT_NE(readText(fs::path(run.desktop / "data") / "applications" / "mivra-mivra-mivra.desktop")
                  .find("Exec=\"" + target + "/Mivra\"\n"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(fs::path(run.desktop / "config") / "menus" / "applications-merged" / "mivra-mivra.menu"));
    EXPECT_EQ(run.opened, std::vector<std::string>{target + "/Readme.txt|" + target});
}

TEST(SetupFlow, ClosingTheProgressDialogStopsAfterTheCurrentChunk) {
    ArchiveContent content;
    // ".jar" entries pause 10 ms per chunk, so the worker is still busy when the dialog closes.
    content.files = {{"lib\\slow.jar", test::patternBytes(200 * 4096, 5), false},
                     {"after.txt", bytesOf("after"), false}};
    SetupRun run(content);
    const std::string target = run.work / "dest";
    fs::create_directory(target);
    run.chooseFolder(target);
    run.agree();
    ASSERT_TRUE(waitUntil([&] { return run.flow->progressDialog() && run.flow->progressDialog()->isVisible(); }));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(fs::path(target) / "lib" / "slow.jar"); }));
    run.flow->progressDialog()->close();
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(run.flow->report().outcome, InstallationOutcome::stopped);
    EXPECT_LT(fs::file_size(fs::path(target) / "lib" / "slow.jar"), 200u * 4096u);
    EXPECT_EQ(fs::file_size(fs::path(target) / "lib" / "slow.jar") % 4096, 0u);
    EXPECT_FALSE(fs::exists(fs::path(target) / "after.txt"));
    EXPECT_TRUE(run.prompts.messages.empty());
    EXPECT_TRUE(run.opened.empty());
}

TEST(SetupFlow, FolderDialogOverTheBackgroundScreenshot) {
    SetupRun run;
    auto* dialog = run.folderDialogShown();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->size(), dialogUnits(208, 82));
    // The dialog's window, frame included, sits in the middle of the background's client area.
    const QRect frame = dialog->frameGeometry();
    EXPECT_EQ(frame.topLeft() - run.window.mapToGlobal(QPoint(0, 0)),
              QPoint((run.window.width() - frame.width()) / 2, (run.window.height() - frame.height()) / 2));
    const QPoint offset = dialog->mapToGlobal(QPoint(0, 0)) - run.window.mapToGlobal(QPoint(0, 0));

    QImage background = run.window.grab().toImage();
    EXPECT_EQ(background.pixelColor(5, 0), QColor(150, 160, 254));
    EXPECT_EQ(background.pixelColor(5, 1), QColor(149, 159, 253));
    EXPECT_EQ(background.pixelColor(5, 3), QColor(148, 158, 253));
    EXPECT_EQ(background.pixelColor(5, 5), QColor(147, 157, 252));
    QPixmap shot = run.window.grab();
    {
        QPainter painter(&shot);
        painter.drawPixmap(offset, dialog->grab());
    }
    const QString path = QStringLiteral(MIVRA_BINARY_DIR) + "/installer-folder-dialog.png";
    EXPECT_TRUE(shot.save(path));
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(run.finished());
}

// The background may change size (the window manager maximises it) after a
// dialog has opened; each of the three stays in the middle of its client area.
TEST(SetupFlow, EveryDialogStaysCentredOnTheBackground) {
    test::TempFolder target;
    SetupRun run;
    const auto centredOnBackground = [&](QWidget* dialog) {
        const QRect frame = dialog->frameGeometry();
        return frame.topLeft() - run.window.mapToGlobal(QPoint(0, 0)) ==
               QPoint((run.window.width() - frame.width()) / 2, (run.window.height() - frame.height()) / 2);
    };
    const auto growBackground = [&](int width, int height) {
        run.window.resize(width, height);
        QCoreApplication::processEvents();
    };
    auto* folder = run.folderDialogShown();
    ASSERT_TRUE(folder);
    growBackground(1200, 900);
    EXPECT_TRUE(waitUntil([&] { return centredOnBackground(folder); })) << "folder dialog";
    folder->folderEdit()->setText(QString::fromStdString(target.path().string()));
    QTest::mouseClick(folder->okButton(), Qt::LeftButton);

    auto* agreement = run.agreementShown();
    ASSERT_TRUE(agreement);
    growBackground(1000, 700);
    EXPECT_TRUE(waitUntil([&] { return centredOnBackground(agreement); })) << "agreement dialog";
    QTest::mouseClick(agreement->yesButton(), Qt::LeftButton);

    ASSERT_TRUE(waitUntil([&] { return run.flow->progressDialog() && run.flow->progressDialog()->isVisible(); }) ||
                run.finishedCount > 0);
    if (auto* progress = run.flow->progressDialog()) {
        growBackground(900, 800);
        EXPECT_TRUE(waitUntil([&] { return !progress->isVisible() || centredOnBackground(progress); }));
    }
    EXPECT_TRUE(run.finished());
}

}  // namespace
}  // namespace mivra::installer
