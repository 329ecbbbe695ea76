#pragma once

#include <QDialog>

class QLineEdit;

namespace mivra {

// Asks for a ProgID; OK with an empty field is refused.
class ProgIdWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProgIdWindow(QWidget* parent = nullptr);
    QLineEdit* progIdField() const { return progId_; }
    QString progIdText() const;

public slots:
    void accept() override;

private:
    QLineEdit* progId_ = nullptr;
};

}  // namespace mivra
