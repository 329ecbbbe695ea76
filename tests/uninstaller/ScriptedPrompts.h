#pragma once

#include "UninstallerPrompts.h"

#include <QWidget>

#include <string>
#include <vector>

namespace mivra {

// Answers the confirmation as told and writes down every prompt shown.
struct ScriptedPrompts : UninstallerPrompts {
    bool answer = true;
    std::vector<std::string> shown;
    std::vector<std::string> questions;
    std::vector<std::string> refusals;

    bool confirmUninstallation(QWidget* owner, const std::string& question) override
    {
        shown.push_back(owner && owner->isHidden() ? "confirm" : "confirm without hidden owner");
        questions.push_back(question);
        return answer;
    }
    void reportRefusal(QWidget*, const std::string& message) override
    {
        shown.push_back("refused");
        refusals.push_back(message);
    }
    void reportFailure(QWidget*) override { shown.push_back("failed"); }
    void reportFinished(QWidget*) override { shown.push_back("finished"); }
};

}  // namespace mivra
