#include "core/ParamsUnit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
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
