#include "RecordingUninstallSystem.h"
#include "ScriptedPrompts.h"
#include "UninstallerPrompts.h"
#include "UninstallerWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace mivra {
namespace {

UninstallList oneFile()
{
    UninstallList list;
    list.fileNames = {"Readme.txt"};
    return list;
}

TEST(UninstallerWindow, NoEndsTheRunWithoutTouchingAnything)
{
    ScriptedPrompts prompts;
    prompts.answer = false;
    RecordingUninstallSystem system;
    bool listRead = false;
    UninstallerWindow window(
        "/inst/Uninstaller",
        [&](const std::string&) {
            listRead = true;
            return std::optional(oneFile());
        },
        system, prompts);
    QSignalSpy ended(&window, &UninstallerWindow::ended);
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_EQ(prompts.shown, std::vector<std::string>{"confirm"});
    EXPECT_FALSE(listRead);
    EXPECT_TRUE(system.steps().empty());
}

TEST(UninstallerWindow, YesRemovesOnTheWorkerAndReportsFinishedAfterwards)
{
    ScriptedPrompts prompts;
    RecordingUninstallSystem system;
    std::atomic<bool> readOnWorker = false;
    const auto mainThread = std::this_thread::get_id();
    UninstallerWindow window(
        "/inst/Uninstaller",
        [&](const std::string& path) {
            readOnWorker = std::this_thread::get_id() != mainThread && path == "/inst/Uninstaller";
            return std::optional(oneFile());
        },
        system, prompts);
    QSignalSpy ended(&window, &UninstallerWindow::ended);
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_TRUE(readOnWorker);
    EXPECT_EQ(prompts.shown, (std::vector<std::string>{"confirm", "finished"}));
    EXPECT_EQ(system.steps(), (std::vector<std::string>{"delete /inst/Readme.txt", "group", "registration",
                                                        "self /inst/Uninstaller /inst/"}));
}

TEST(UninstallerWindow, AnUnreadableListReportsFailureAndRemovesNothing)
{
    ScriptedPrompts prompts;
    RecordingUninstallSystem system;
    UninstallerWindow window(
        "/inst/Uninstaller", [](const std::string&) { return std::optional<UninstallList>(); }, system, prompts);
    QSignalSpy ended(&window, &UninstallerWindow::ended);
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_EQ(prompts.shown, (std::vector<std::string>{"confirm", "failed"}));
    EXPECT_TRUE(system.steps().empty());
}

// Answers the next message box with the given button and notes what it said.
struct MessageBoxAnswer {
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QPoint centre;

    void answerNext(QMessageBox::StandardButton button)
    {
        QTimer::singleShot(0, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            buttons = box->standardButtons();
            centre = box->frameGeometry().center();
            box->button(button)->click();
        });
    }
};

// The uninstaller's window is never shown: every box stands in the middle
// of the screen, not of that hidden window at the top left.
TEST(MessageBoxPrompts, ShowTheTextsAndButtonsOfTheUninstallerCentredOnTheScreen)
{
    QWidget owner;
    MessageBoxPrompts prompts;
    MessageBoxAnswer answer;
    const QPoint screenCentre = QApplication::primaryScreen()->availableGeometry().center();
    const auto expectCentred = [&] {
        EXPECT_LE((answer.centre - screenCentre).manhattanLength(), 4)
            << answer.title.toStdString() << " at " << answer.centre.x() << "," << answer.centre.y();
    };

    answer.answerNext(QMessageBox::No);
    EXPECT_FALSE(prompts.confirmUninstallation(&owner, "Un-install Mivra from /inst?"));
    EXPECT_EQ(answer.title, "Confirm Uninstallation");
    EXPECT_EQ(answer.text, "Un-install Mivra from /inst?");
    EXPECT_EQ(answer.buttons, QMessageBox::Yes | QMessageBox::No);
    expectCentred();

    answer.answerNext(QMessageBox::Yes);
    EXPECT_TRUE(prompts.confirmUninstallation(&owner, "Un-install Mivra from /inst?"));

    answer.answerNext(QMessageBox::Ok);
    prompts.reportFinished(&owner);
    EXPECT_EQ(answer.title, "Finished");
    EXPECT_EQ(answer.text, "Mivra has been removed from the system.");
    EXPECT_EQ(answer.buttons, QMessageBox::Ok);
    expectCentred();

    answer.answerNext(QMessageBox::Ok);
    prompts.reportFailure(&owner);
    EXPECT_EQ(answer.title, "Uninstall Failed");
    EXPECT_EQ(answer.text, "Could not extract un-installation data.\nThe executable may have been corrupted.\n"
                           "Please delete files and remove program group items manually.");

    answer.answerNext(QMessageBox::Ok);
    prompts.reportRefusal(&owner, "runs elsewhere");
    EXPECT_EQ(answer.title, "Uninstall Refused");
    EXPECT_EQ(answer.text, "runs elsewhere");
}

}  // namespace
}  // namespace mivra
