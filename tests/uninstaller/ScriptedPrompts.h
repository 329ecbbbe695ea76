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

    bool confirmUninstallation(QWidget* owner) override
    {
        shown.push_back(owner && owner->isHidden() ? "confirm" : "confirm without hidden owner");
        return answer;
    }
    void reportFailure(QWidget*) override { shown.push_back("failed"); }
    void reportFinished(QWidget*) override { shown.push_back("finished"); }
};

}  // namespace mivra
