#include "core/ParamsUnit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The process-wide settings load once; they must never land in the build
    // tree or the real user's folders, and must outlive every test's own home.
    QTemporaryDir home;
    qputenv("QUILLMATE_HOME", home.path().toLocal8Bit());
    Params();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
