#include "core/ParamsUnit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// A modal window nobody answers would hold its test until ctest's timeout and
// say nothing about why. After half a minute it is reported and closed.
void WatchForForgottenModals(QTimer& timer) {
    constexpr int kLimitMs = 30 * 1000;
    QObject::connect(&timer, &QTimer::timeout, [seen = QPointer<QWidget>(), deadline = QDeadlineTimer()]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != seen) {
            seen = modal;
            deadline.setRemainingTime(kLimitMs);
            return;
        }
        if (!modal || !deadline.hasExpired()) return;
        const auto* box = qobject_cast<QMessageBox*>(modal);
        ADD_FAILURE() << "a modal window stayed open unanswered: \"" << modal->windowTitle().toStdString() << "\" "
                      << (box ? box->text().toStdString() : std::string());
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        else modal->close();
        seen = nullptr;
    });
    timer.start(500);
}

} // namespace

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
    QTimer modalWatch;
    WatchForForgottenModals(modalWatch);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
