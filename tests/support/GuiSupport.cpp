#include "support/GuiSupport.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <memory>

void WhenModalOpens(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, act] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window && ++*tries < 1000) return;
        timer->stop();
        timer->deleteLater();
        if (!window) {
            ADD_FAILURE() << "no modal window opened";
            return;
        }
        act(window);
    });
    timer->start(5);
}
