#pragma once
// A node with the network off whose message windows send to a chat listener
// on 127.0.0.1; boxes are collected instead of shown.
#include "chatlog/ChatLogUnit.h"
#include "core/ParamsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "messaging/widgets/MessageWindowsUnit.h"
#include "messaging/widgets/NewMsgUnit.h"
#include "node/NodeUnit.h"
#include "protocol/ChatHandlersUnit.h"
#include "support/ServerFixture.h"
#include "text/MsgLangUnit.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

class TMsgFormFixture : public TServerFixture {
protected:
    TMsgFormFixture() : FSaved(Params()) {
        PeerChat.RegisterEvents(Sink);
        QObject::connect(&PeerChat, &TChatService::MessageArrived, [this](const TBroadcastData& r) { Arrived << r; });
        RegisterChatHandlers(*Server, Sink, Lang);
        Params()[ipListeningPort] = Port;
        Params()[bpAllowMultiForm] = false;
        Params()[bpChatMode] = true;
        Params()[bpPressEnterToSend] = false;
        Params()[bpOnlyUserNickname] = true;
        Node = std::make_unique<TNode>();
        TMessageSendLimits limits;
        limits.ConnectTimeoutMs = 2000;
        limits.StallTimeoutMs = 2000;
        Node->Chat().SetSendLimits(limits);
        Node->ChatLog().Start();
        QObject::connect(&Node->ChatLog(), &TChatLog::RecordAdded, [this](const TLogEntry& e) { Logged << e; });
        TMsgFormContext context;
        context.Chat = &Node->Chat();
        context.Log = &Node->ChatLog();
        context.Lang = &TMessageLang::Instance();
        context.TakeQueued = [this](const TRecipient& sender) {
            return TakeQueued ? TakeQueued(sender) : QList<TBroadcastData>();
        };
        // The screen a capture takes: whatever the test hands over.
        context.GrabScreen = [this](QScreen* screen, QObject* owner, std::function<void(const TScreenPicture&)> done) {
            if (GrabScreen) GrabScreen(screen, owner, std::move(done));
            else done({QImage(), QStringLiteral("no screen in the tests")});
        };
        Windows = std::make_unique<TMessageWindows>(std::move(context));
    }
    ~TMsgFormFixture() override {
        QList<QPointer<TNewMsgForm>> forms;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<TNewMsgForm*>(w)) forms << form;
        for (const QPointer<TNewMsgForm>& form : forms) delete form.data();
        Windows.reset();
        Node.reset();
        Params() = FSaved;
    }

    TScreenGrab GrabScreen;

    static TRecipient User(const QString& nick, const QString& computer, const QString& ip, const QString& id = {}) {
        return TRecipient{nick, computer, ip, QString(), id};
    }

    TNewMsgForm* Open(bool sendMode, bool broadcastMode, bool useNickname, const TRecipients& recipients,
                      const QString& timeText = {}, const QByteArray& content = {}) {
        auto* form = qobject_cast<TNewMsgForm*>(
            Windows->Open(sendMode, broadcastMode, useNickname, recipients, timeText, content));
        if (form) form->SetMessageBox([this](QWidget*, Utils::TMessageBoxKind, const QString& text) {
                Boxes << text;
                return BoxAnswer;
            });
        return form;
    }

    // Sends what the input holds and waits for the job's end.
    bool SendAndWait(TNewMsgForm* form) {
        TLoopbackOnly loopback;
        bool finished = false;
        QPointer<TNewMsgForm> alive(form);
        QObject::connect(form, &TNewMsgForm::SendFinished, [&finished] { finished = true; });
        form->SendExecute();
        return WaitUntil([&] { return finished && (!alive || !alive->IsSending()); }, 10000);
    }

    bool WaitLogged(int count) {
        Node->ChatLog().Flush();
        return WaitUntil([&] { return Logged.size() >= count; }, 5000);
    }

    TTempHome Home;
    TApplicationParams FSaved;
    TChatService PeerChat{Client, Local};
    std::unique_ptr<TNode> Node;
    std::unique_ptr<TMessageWindows> Windows;
    // What the windows' queue hands over; none by default.
    std::function<QList<TBroadcastData>(const TRecipient&)> TakeQueued;
    QList<TBroadcastData> Arrived;
    QList<TLogEntry> Logged;
    QStringList Boxes;
    Utils::TMessageBoxResult BoxAnswer = Utils::TMessageBoxResult::Ok;
};
