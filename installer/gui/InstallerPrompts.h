#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace mivra::installer {

// Message boxes and the folder picker, behind one seam so the installation
// can be driven without modal loops.
class InstallerPrompts {
public:
    virtual ~InstallerPrompts() = default;
    virtual void showMessage(QWidget* owner, const QString& text, const QString& title) = 0;
    virtual bool askYesNo(QWidget* owner, const QString& text, const QString& title) = 0;
    virtual std::optional<QString> pickFolder(QWidget* owner, const QString& title) = 0;
};

class MessageBoxPrompts final : public InstallerPrompts {
public:
    void showMessage(QWidget* owner, const QString& text, const QString& title) override;
    bool askYesNo(QWidget* owner, const QString& text, const QString& title) override;
    std::optional<QString> pickFolder(QWidget* owner, const QString& title) override;
};

}  // namespace mivra::installer
