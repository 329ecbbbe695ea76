#pragma once

#include "UninstallerTexts.h"

#include <string>

class QWidget;

namespace mivra {

// The three questions and reports of an uninstallation, owned by the
// hidden window.
class UninstallerPrompts {
public:
    virtual ~UninstallerPrompts() = default;
    // question: confirmationQuestion(folder).
    virtual bool confirmUninstallation(QWidget* owner, const std::string& question) = 0;
    virtual void reportRefusal(QWidget* owner, const std::string& message) = 0;
    virtual void reportFailure(QWidget* owner) = 0;
    virtual void reportFinished(QWidget* owner) = 0;
};

class MessageBoxPrompts : public UninstallerPrompts {
public:
    bool confirmUninstallation(QWidget* owner, const std::string& question) override;
    void reportRefusal(QWidget* owner, const std::string& message) override;
    void reportFailure(QWidget* owner) override;
    void reportFinished(QWidget* owner) override;
};

}  // namespace mivra
