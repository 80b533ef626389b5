#include "core/ParamsUnit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    // Outside the lab a test never reaches the LAN: nothing listens or is
    // sent unless a test asks for loopback itself. Child processes inherit it.
    if (!qEnvironmentVariableIsSet("QUILLMATE_NETWORK")) qputenv("QUILLMATE_NETWORK", "off");
    QCoreApplication app(argc, argv);
    // The process-wide settings load once; they must never land in the build
    // tree or the real user's folders, and must outlive every test's own home.
    QTemporaryDir home;
    qputenv("QUILLMATE_HOME", home.path().toLocal8Bit());
    Params();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
