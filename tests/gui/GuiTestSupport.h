#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include "DialogHooks.h"

// Records what the windows would have shown and answers their questions.
class DialogRecorder {
public:
    DialogRecorder() {
        auto& hooks = mivra::dialogHooks();
        hooks.message = [this](QWidget*, const QString& text) { messages.push_back(text); };
        hooks.question = [this](QWidget*, const QString& text) {
            questions.push_back(text);
            return answer;
        };
        hooks.chooseFolder = [this](QWidget*, const QString& title) {
            questions.push_back(title);
            return chosenFolder;
        };
        hooks.chooseFile = [this](QWidget*) { return chosenFile; };
        hooks.openDocument = [this](const QString& path) {
            opened.push_back(path);
            return openSucceeds;
        };
    }
    ~DialogRecorder() { mivra::dialogHooks() = {}; }

    std::vector<QString> messages;
    std::vector<QString> questions;
    std::vector<QString> opened;
    bool answer = true;
    bool openSucceeds = true;
    QString chosenFolder;
    QString chosenFile;
};

// Runs action on the modal window that opens next, once it is up.
template <class Window, class Action>
void whenModalOpens(Action action) {
    QTimer::singleShot(0, [action] {
        auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        action(window);
    });
}

// A caption as shown: mnemonic markers removed.
inline QString shown(QString text) { return text.remove(QLatin1Char('&')); }

// The plain texts of a window's labels, top to bottom.
inline std::vector<QString> labelTexts(QWidget* window) {
    std::vector<QString> texts;
    for (QLabel* label : window->findChildren<QLabel*>())
        if (!label->text().isEmpty()) texts.push_back(shown(label->text()));
    return texts;
}
