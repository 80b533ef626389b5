#pragma once

#include <QStringList>
#include <functional>
#include <QTextStream>

class TNode;

// "update check|fetch|sign|keygen": exit 0 done, 1 failed (no answer, a
// refused or incomplete set), 2 bad usage.
int RunUpdate(const QStringList& arguments, QTextStream& out, QTextStream& err);
extern const char* const kUpdateUsage;

// Prints what a listening node's update side does (answers, pushes, refused streams).
void AttachUpdateListen(TNode& node, const std::function<void(const class QJsonObject&, const QString&)>& print);
