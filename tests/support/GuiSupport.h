#pragma once
// Helpers of the widget tests.

#include <QApplication>
#include <QWidget>
#include <functional>

// Runs act on the modal window as soon as it is open, from inside its event
// loop (a test cannot reach it otherwise while exec() runs). Fails the test
// when none opens within about five seconds.
void WhenModalOpens(std::function<void(QWidget*)> act);
