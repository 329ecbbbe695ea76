#pragma once

#include "Uninstallation.h"
#include "UninstallerPrompts.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

namespace mivra {

// Reads the uninstall list appended to the uninstaller's file; nothing when
// the file cannot be opened or the list is damaged.
using UninstallListSource = std::function<std::optional<UninstallList>(const std::string& uninstallerPath)>;

// The uninstaller's hidden window: it asks for confirmation, runs the
// removal on a worker thread, reports the outcome and then ends the run
// through ended().
class UninstallerWindow : public QWidget {
    Q_OBJECT
public:
    UninstallerWindow(std::string uninstallerPath, UninstallListSource readList, UninstallSystem& system,
                      UninstallerPrompts& prompts);
    ~UninstallerWindow() override;

signals:
    void ended();

private:
    void start();
    void workerDone(bool listRead);

    std::string uninstallerPath_;
    UninstallListSource readList_;
    UninstallSystem& system_;
    UninstallerPrompts& prompts_;
    QThread* worker_ = nullptr;
};

}  // namespace mivra
