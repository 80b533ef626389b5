#pragma once

#include <QStringList>
#include <QTextStream>

// "listen" and "who": a headless node on the LAN. Both return the exit status.
int RunListen(const QStringList& arguments, QTextStream& out, QTextStream& err);
int RunWho(const QStringList& arguments, QTextStream& out, QTextStream& err);
