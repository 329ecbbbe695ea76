#pragma once

class QWidget;

namespace mivra {

inline constexpr const char* confirmationText = "Un-install Mivra?";
inline constexpr const char* confirmationTitle = "Confirm Uninstallation";
inline constexpr const char* failureText =
    "Could not extract un-installation data.\nThe executable may have been corrupted.\n"
    "Please delete files and remove program group items manually.";
inline constexpr const char* failureTitle = "Uninstall Failed";
inline constexpr const char* finishedText = "Mivra has been removed from the system.";
inline constexpr const char* finishedTitle = "Finished";

// The three questions and reports of an uninstallation, owned by the
// hidden window.
class UninstallerPrompts {
public:
    virtual ~UninstallerPrompts() = default;
    virtual bool confirmUninstallation(QWidget* owner) = 0;
    virtual void reportFailure(QWidget* owner) = 0;
    virtual void reportFinished(QWidget* owner) = 0;
};

class MessageBoxPrompts : public UninstallerPrompts {
public:
    bool confirmUninstallation(QWidget* owner) override;
    void reportFailure(QWidget* owner) override;
    void reportFinished(QWidget* owner) override;
};

}  // namespace mivra
