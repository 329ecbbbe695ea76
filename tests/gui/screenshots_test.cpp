#include <filesystem>

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTest>

#include "BuilderWindow.h"
#include "GuiTestSupport.h"
#include "SourcePicker.h"

using namespace mivra;

namespace {

// Pictures of the main window and of the picker over the build's Wine
// prefix, written to screenshots/ in the build folder for people to look at.
TEST(Screenshots, MainWindowAndPickerOverTheBuildsPrefix) {
    if (!std::filesystem::exists(std::filesystem::path(MIVRA_WINEPREFIX) / "system.reg"))
        GTEST_SKIP() << "no Wine prefix in this build";
    DialogRecorder dialogs;
    auto registry = openClassRegistry(MIVRA_WINEPREFIX);
    RegisteredLibraryList libraries;
    SourceServices services;
    services.registry = registry.get();
    services.libraries = &libraries;

    const QString folder = QStringLiteral(MIVRA_BINARY_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(folder));

    BuilderWindow window(services);
    window.inputField()->setText(QStringLiteral("C:\\windows\\system32\\ieframe.dll"));
    window.outputField()->setText(QStringLiteral("/tmp/browser"));
    window.packageField()->setText(QStringLiteral("com.example.browser"));
    window.libraryField()->setText(QStringLiteral("Jieframe.dll"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.grab().save(folder + "/builder-window.png"));

    SourcePicker picker(services, &window);
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    if (picker.libraryList()->count() > 0) picker.libraryList()->setCurrentRow(0);
    EXPECT_TRUE(picker.grab().save(folder + "/source-picker.png"));
    EXPECT_EQ(static_cast<size_t>(picker.libraryList()->count()), libraries.displayTexts.size());
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
