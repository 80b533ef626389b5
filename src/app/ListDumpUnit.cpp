#include "app/ListDumpUnit.h"

#include "presence/OnlineUserModelUnit.h"

#include <QSaveFile>
#include <QStringList>

namespace {

constexpr int kCoalesceMs = 50;

QString Field(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
    return text;
}

} // namespace

TListDump::TListDump(const TOnlineUserModel& model, QString fileName, QObject* parent)
    : QObject(parent), FModel(model), FFileName(std::move(fileName)) {
    FTimer.setSingleShot(true);
    FTimer.setInterval(kCoalesceMs);
    connect(&FTimer, &QTimer::timeout, this, &TListDump::WriteNow);
    connect(&model, &QAbstractItemModel::rowsInserted, this, &TListDump::Schedule);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &TListDump::Schedule);
    connect(&model, &QAbstractItemModel::rowsMoved, this, &TListDump::Schedule);
    connect(&model, &QAbstractItemModel::dataChanged, this, &TListDump::Schedule);
    connect(&model, &QAbstractItemModel::modelReset, this, &TListDump::Schedule);
    connect(&model, &QAbstractItemModel::layoutChanged, this, &TListDump::Schedule);
    // The file exists from the start, so a reader never mistakes "not yet" for "empty".
    Schedule();
}

void TListDump::Schedule() {
    if (!FTimer.isActive()) FTimer.start();
}

QByteArray TListDump::Render(const TOnlineUserModel& model) {
    QString text;
    for (int g = 0; g < model.GroupCount(); ++g) {
        const QModelIndex group = model.GroupIndex(g);
        text += QStringLiteral("group\t") + Field(model.GroupCaption(g)) + QLatin1Char('\n');
        for (int u = 0; u < model.rowCount(group); ++u) {
            const TUserNodeData* user = model.NodeData(model.index(u, 0, group));
            if (!user) continue;
            // Joined, not arg()-formatted: a nickname may itself contain "%4".
            const QStringList fields{QStringLiteral("user"), Field(user->GroupName), Field(user->NickName),
                                     Field(user->IPAddress), QString::number(user->OnlineState),
                                     QString::number(user->IsSelf ? 1 : 0)};
            text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
        }
    }
    return text.toUtf8();
}

bool TListDump::WriteNow() {
    FTimer.stop();
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(Render(FModel));
    return file.commit();
}
