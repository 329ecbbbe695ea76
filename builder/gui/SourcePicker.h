#pragma once

#include <QDialog>

#include "BuilderWindow.h"
#include "PickerSession.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace mivra {

// Fills in the COM source: from the registered libraries, by browsing for a
// file, or from a ProgID.
class SourcePicker : public QDialog {
    Q_OBJECT
public:
    explicit SourcePicker(SourceServices services, QWidget* parent = nullptr);

    QString fileText() const { return fileText_; }
    QLineEdit* fileField() const { return file_; }
    QListWidget* libraryList() const { return list_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* locateButton() const { return locate_; }

public slots:
    void accept() override;
    void browse();
    void locateByProgId();

private:
    // The list, File and the highlight as the session has them.
    void showSession();

    PickerSession session_;
    bool showing_ = false;
    QLineEdit* file_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* browse_ = nullptr;
    QPushButton* locate_ = nullptr;
    QString fileText_;
};

}  // namespace mivra
