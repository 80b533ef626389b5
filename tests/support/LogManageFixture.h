#pragma once

// A chat log in a throw-away folder, filled through the engine, and a log
// manager over it whose dialogs the test answers.
#include "chatlog/ChatLogUnit.h"
#include "chatlog/LogListModelUnit.h"
#include "chatlog/LogSearchModelUnit.h"
#include "chatlog/widgets/LogManageUnit.h"
#include "support/ChatLogFixtures.h"
#include "support/RichWidgetFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QListView>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>

class TLogManageFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Log = std::make_unique<TChatLog>(Home.Path() + QStringLiteral("ChatDB/"));
        Log->Start();
    }
    void TearDown() override {
        Window.reset();
        Log.reset();
    }

    // Stores records through the log's writer and waits until they are in.
    void Add(const QList<TLogRecord>& records) {
        for (const TLogRecord& record : records) Log->AddLogRecord(record);
        Log->Flush();
    }
    static TLogRecord Record(TLogType type, const QString& nick, const QByteArray& content, bool sendOut = false,
                             const QString& computer = QStringLiteral("PC-1")) {
        return ChatLogFixtures::Record(type, nick, content, sendOut, computer);
    }

    // A window whose questions are answered with Answer and whose file
    // dialog returns SavePath (recording the requests).
    TLogManage& Open() {
        Window = std::make_unique<TLogManage>(*Log, Params());
        Window->SetMessageBox([this](QWidget*, Utils::TMessageBoxKind kind, const QString& text) {
            Boxes += text;
            if (kind == Utils::TMessageBoxKind::Question) return Answer;
            return Utils::TMessageBoxResult::Ok;
        });
        Window->SetFileDialog([this](QWidget*, const TFileDialogRequest& request) {
            Requests += request;
            return SavePath;
        });
        return *Window;
    }

    static bool WaitFor(const std::function<bool()>& state) { return QTest::qWaitFor(state, 10000); }

    // Selects the node and waits for its first page.
    bool List(QTreeWidgetItem* node) {
        Window->SelectNode(node);
        return WaitFor([this] { return !Window->ListModel().IsLoading(); });
    }
    bool ExpandSingle() {
        Window->Node(TLogManage::nkAllSingle)->setExpanded(true);
        return WaitFor([this] { return Window->UserNodesLoaded(); });
    }
    QAbstractItemModel* Shown() const { return Window->List()->model(); }
    int Rows() const { return Shown() ? Shown()->rowCount() : -1; }
    qint64 IdAt(int row) const { return Shown()->index(row, 0).data(TLogListModel::IdRole).toLongLong(); }
    void SelectRow(int row) const { Window->List()->setCurrentIndex(Shown()->index(row, 0)); }
    // Records left in a table, read behind the window's back.
    qint64 Count(const QString& table) const {
        Log->Flush();
        ChatLogFixtures::TRawDb db(Log->DatabaseFileName());
        return db.Value(QStringLiteral("SELECT COUNT(*) FROM ") + table).toLongLong();
    }

    RichWidgetFixtures::TSavedParams Saved;
    ChatLogFixtures::TScopedLocale Locale;
    TTempHome Home;
    std::unique_ptr<TChatLog> Log;
    std::unique_ptr<TLogManage> Window;
    Utils::TMessageBoxResult Answer = Utils::TMessageBoxResult::Yes;
    QStringList Boxes;
    QList<TFileDialogRequest> Requests;
    QString SavePath;
};
