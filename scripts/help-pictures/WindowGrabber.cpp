// Takes the builder window's pictures for the user guide. It runs the real
// window (runBuilderWindow) and, from inside its event loop, grabs the window
// as it opens and again with the tutorial's inputs filled in, then closes it.
//   help_window_grabber EMPTY.png FILLED.png
// Run it with QT_QPA_PLATFORM=offscreen: grabbing renders the widgets itself,
// no display is needed.
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <string>

#include "Commands.h"

namespace {

const char* emptyPicture = nullptr;
const char* filledPicture = nullptr;
int grabStatus = 1;
int attempts = 0;

const QString windowCaption = QStringLiteral("Mivra:  COM to Java JNI bridge builder");

QWidget* builderWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == windowCaption) return w;
    return nullptr;
}

void closeWindow(QWidget* window) {
    if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
    else
        window->close();
}

void grabWhenShown() {
    QWidget* window = builderWindow();
    if (!window) {
        if (++attempts > 100) {
            std::fprintf(stderr, "help_window_grabber: the builder window did not appear\n");
            QCoreApplication::exit(1);
            return;
        }
        QTimer::singleShot(100, grabWhenShown);
        return;
    }
    if (!window->grab().save(QString::fromLocal8Bit(emptyPicture))) {
        std::fprintf(stderr, "help_window_grabber: cannot write %s\n", emptyPicture);
        closeWindow(window);
        return;
    }
    // The four fields from top to bottom: Input, Output, Package, Library.
    QList<QLineEdit*> fields = window->findChildren<QLineEdit*>();
    std::sort(fields.begin(), fields.end(), [](QLineEdit* a, QLineEdit* b) {
        QPoint pa = a->mapToGlobal(QPoint(0, 0)), pb = b->mapToGlobal(QPoint(0, 0));
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    if (fields.size() != 4) {
        std::fprintf(stderr, "help_window_grabber: expected 4 fields, found %d\n",
                     static_cast<int>(fields.size()));
        closeWindow(window);
        return;
    }
    // The tutorial's inputs as a Linux user gives them: the library in the
    // Wine prefix, the output in the home folder.
    const char* tutorialInputs[] = {"/home/user/.wine/drive_c/windows/system32/ieframe.dll", "/home/user/tutorial",
                                    "mvx.tutorial", "jbrowse.dll"};
    for (int i = 0; i < 4; ++i) {
        fields[i]->setText(QString::fromLatin1(tutorialInputs[i]));
        fields[i]->setCursorPosition(0);
    }
    window->repaint();
    if (!window->grab().save(QString::fromLocal8Bit(filledPicture))) {
        std::fprintf(stderr, "help_window_grabber: cannot write %s\n", filledPicture);
        closeWindow(window);
        return;
    }
    grabStatus = 0;
    closeWindow(window);
}

// Runs as soon as the builder's own QApplication exists.
void startGrabbing() { QTimer::singleShot(100, grabWhenShown); }
Q_COREAPP_STARTUP_FUNCTION(startGrabbing)

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: help_window_grabber EMPTY.png FILLED.png\n");
        return 2;
    }
    emptyPicture = argv[1];
    filledPicture = argv[2];
    int status = mivra::runBuilderWindow({});
    if (grabStatus != 0) {
        std::fprintf(stderr, "help_window_grabber: no pictures (window status %d)\n", status);
        return 1;
    }
    return 0;
}
