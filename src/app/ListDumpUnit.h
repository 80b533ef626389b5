#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class TOnlineUserModel;

// Test hook (QUILLMATE_LIST_DUMP=FILE): keeps FILE as a plain-text copy of the
// online list, so that lab scripts can see what the window shows without
// reading pixels. The file is replaced whole (never seen half written) shortly
// after each change; a burst of changes gives one write.
//
// Format: UTF-8, "\n" after every line, one line per row in tree order (each
// group row followed by its user rows, expanded or not), fields separated by
// a tab; tabs and line breaks inside a field become spaces:
//   group<TAB>caption
//   user<TAB>group name<TAB>nickname<TAB>IP address<TAB>state<TAB>self
// caption is the group row's text ("Design [2]"); state is the number
// (0 Online, 1 Busy, 2 Away); self is 1 on this node's own row, else 0.
class TListDump : public QObject {
    Q_OBJECT
public:
    // The model must outlive the dump.
    TListDump(const TOnlineUserModel& model, QString fileName, QObject* parent = nullptr);

    // The text the file gets for the model as it is now.
    static QByteArray Render(const TOnlineUserModel& model);
    // Writes at once; false when the file could not be replaced.
    bool WriteNow();

private:
    void Schedule();

    const TOnlineUserModel& FModel;
    QString FFileName;
    QTimer FTimer;
};
