#pragma once
// A file window over a loopback transfer service: the test process sends and
// receives. Boxes and choosers are answered by the test.

#include "node/LogRecorderUnit.h"
#include "support/TransferFixture.h"
#include "text/MsgLangUnit.h"
#include "transfer/widgets/FileDialogsUnit.h"
#include "transfer/widgets/FileHooksUnit.h"
#include "transfer/widgets/FileUnit.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <condition_variable>
#include <deque>
#include <mutex>

// Holds the receiving side (its disk check) until opened: the sender then
// blocks inside its first large file.
class TReceiveGate {
public:
    void Close() {
        std::lock_guard lock(FLock);
        FOpen = false;
    }
    void Open() {
        std::lock_guard lock(FLock);
        FOpen = true;
        FChanged.notify_all();
    }
    void Pass() {
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [this] { return FOpen; });
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FOpen = true;
};

// Windows and dialogs delete themselves later; true once obj is gone.
template <typename T> bool WaitGone(const QPointer<T>& obj) {
    return WaitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return obj.isNull();
    });
}

class TFileFormFixture : public TTransferFixture {
protected:
    TFileFormFixture() {
        Recorder.Connect(Service);
        TFileFormHooks& hooks = Hooks;
        hooks.MessageBox = [this](QWidget*, Utils::TMessageBoxKind kind, const QString& text) {
            Boxes << text;
            if (kind != Utils::TMessageBoxKind::Question) return Utils::TMessageBoxResult::Ok;
            if (Answers.empty()) return Utils::TMessageBoxResult::Yes;
            const Utils::TMessageBoxResult answer = Answers.front();
            Answers.pop_front();
            return answer;
        };
        hooks.ChooseFiles = [this](QWidget*) { return ChosenFiles; };
        hooks.ChooseFolder = [this](QWidget*, const QString& title, const QString&) {
            FolderTitles << title;
            return ChosenFolder;
        };
        hooks.OpenUrl = [this](const QUrl& url) {
            Opened << url;
            return true;
        };
        SetFreeBytes([this](const QString&) {
            Gate.Pass();
            return qint64(1) << 40;
        });
        Settings[bpAllowMultiForm] = true;
        Settings[bpCloseAfterSendFile] = false;
        Settings[ipCompressionRatio] = 1;
        Settings[bpOnlyUserNickname] = false;
    }
    ~TFileFormFixture() override {
        Gate.Open();
        for (QPointer<QWidget>& window : Windows)
            if (window) delete window.data();
    }

    TFileFormContext Context() {
        TFileFormContext context;
        context.Transfer = &Service;
        context.Params = &Settings;
        context.Hooks = Hooks;
        return context;
    }
    // The consignee is this process's own listener.
    static TRecipient Peer() {
        return {QStringLiteral("Me"), QStringLiteral("MYPC"), QStringLiteral("127.0.0.1"), QString(), QStringLiteral("{PEER}")};
    }
    TFileForm* NewForm(TFileForm::TMode mode, const QStringList& received = {}) {
        return Keep(new TFileForm(Context(), mode, true, Peer(), received));
    }
    // Adds paths and waits for their packing, if any.
    static void AddAndWait(TFileForm& form, const QStringList& paths, bool* canceled = nullptr) {
        bool packed = false;
        bool wasCanceled = false;
        auto connection = QObject::connect(&form, &TFileForm::PackingFinished, [&](bool c) {
            packed = true;
            wasCanceled = c;
        });
        form.AddPaths(paths);
        if (form.findChild<TCompressProgressDialog*>()) {
            EXPECT_TRUE(WaitUntil([&] { return packed; }, 30000));
        }
        QObject::disconnect(connection);
        if (canceled) *canceled = wasCanceled;
    }
    // Sends the list and waits for the result text.
    static QString SendAndWait(TFileForm& form) {
        QString result;
        auto connection = QObject::connect(&form, &TFileForm::SendFinished, [&](const QString& text) { result = text; });
        form.SendFileClick();
        WaitUntil([&] { return !result.isEmpty(); }, 30000);
        QObject::disconnect(connection);
        return result;
    }
    QString Folder(const QString& name, int files, int size) {
        for (int i = 0; i < files; ++i) MakeFile(name + QStringLiteral("/f%1.bin").arg(i), Bytes(size, i));
        return Src(name);
    }

    QStringList Boxes;
    std::deque<Utils::TMessageBoxResult> Answers;
    QStringList ChosenFiles;
    QString ChosenFolder;
    QStringList FolderTitles;
    QList<QUrl> Opened;
    // The boxes and choosers every window of the test gets, answered by the test.
    TFileFormHooks Hooks = DefaultFileFormHooks();
    // What the node's recorder writes for this process's sends (its arrivals are logged too, not kept here).
    QList<TLogRecord> Logged;
    TMessageLang RecorderLang{1033};
    TLogRecorder Recorder{[this](TLogRecord record) {
                              if (record.IfSendOut) Logged << record;
                          },
                          RecorderLang};
    TReceiveGate Gate;
    // Deleted with the fixture if still there (a failed check returns early).
    QList<QPointer<QWidget>> Windows;
    template <typename T> T* Keep(T* window) {
        Windows << QPointer<QWidget>(window);
        return window;
    }
};
