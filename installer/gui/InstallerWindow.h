#pragma once

#include <QWidget>

namespace mivra::installer {

// The full-screen background behind the installer's dialogs.
class InstallerWindow : public QWidget {
    Q_OBJECT
public:
    explicit InstallerWindow(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace mivra::installer
