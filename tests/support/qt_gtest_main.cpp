#include <QApplication>
#include <gtest/gtest.h>

#include "support/testsupport.h"

int main(int argc, char** argv)
{
    // Tests never open a real window: the offscreen platform renders into memory.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testsupport::InstallFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
