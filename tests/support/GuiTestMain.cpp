#include "core/ParamsUnit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    // Outside the lab a test never reaches the LAN: nothing listens or is
    // sent unless a test asks for loopback itself. Child processes inherit it.
    if (!qEnvironmentVariableIsSet("QUILLMATE_NETWORK")) qputenv("QUILLMATE_NETWORK", "off");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Windows read and save the process-wide settings: keep them in a folder
    // of this run, loaded before any test changes QUILLMATE_HOME.
    QTemporaryDir home;
    qputenv("QUILLMATE_HOME", home.path().toLocal8Bit());
    Params();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
