#include <gtest/gtest.h>

#ifdef MIVRA_UNINSTALLER_GUI
#include <QApplication>
#endif

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
#ifdef MIVRA_UNINSTALLER_GUI
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
