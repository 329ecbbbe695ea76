#pragma once

#include <memory>

#include <QDialog>
#include <QString>

#include "BuildSession.h"
#include "ClassRegistry.h"
#include "Generator.h"
#include "PickerSession.h"
#include "RegistryLookups.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace mivra {

// The builder's one window: the four inputs of a generation and Build.
class BuilderWindow : public QDialog {
    Q_OBJECT
public:
    explicit BuilderWindow(SourceServices services, QWidget* parent = nullptr);
    ~BuilderWindow() override;

    QLineEdit* inputField() const { return input_; }
    QLineEdit* outputField() const { return output_; }
    QLineEdit* packageField() const { return package_; }
    QLineEdit* libraryField() const { return library_; }
    QCheckBox* longHandlesBox() const { return longHandles_; }
    QCheckBox* fullMappingBox() const { return fullMapping_; }
    QPushButton* buildButton() const { return build_; }
    QPushButton* closeButton() const { return close_; }
    QPushButton* selectButton() const { return select_; }
    QPushButton* browseButton() const { return browse_; }
    bool libraryNameEdited() const;
    Generator& generator();

    // True when path is an existing folder at the end; asks once (when ask
    // is set) before creating it, and creates missing parents silently.
    bool ensureFolder(const QString& path, bool ask);

public slots:
    void build();
    void selectSource();
    void browseOutput();
    void showHelp();
    void showAbout();

protected:
    // One generation: run, then finish; true when the run succeeded.
    virtual bool runGeneration();

private:
    class QtFrontEnd;
    class WindowSession;
    SourceServices services_;
    std::unique_ptr<QtFrontEnd> frontEnd_;
    std::unique_ptr<WindowSession> session_;
    QLineEdit* input_ = nullptr;
    QLineEdit* output_ = nullptr;
    QLineEdit* package_ = nullptr;
    QLineEdit* library_ = nullptr;
    QCheckBox* longHandles_ = nullptr;
    QCheckBox* fullMapping_ = nullptr;
    QPushButton* select_ = nullptr;
    QPushButton* browse_ = nullptr;
    QPushButton* build_ = nullptr;
    QPushButton* close_ = nullptr;
};

// The program's icon, drawn rather than loaded so the window needs no files.
QIcon programIcon();

}  // namespace mivra
