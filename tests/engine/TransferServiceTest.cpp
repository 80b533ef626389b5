#include "support/TransferFixture.h"
#include "transfer/FileCodecUnit.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace {

class TransferHandshake : public TTransferFixture {
protected:
    TRecipient Me() const { return {QStringLiteral("Me"), QStringLiteral("MYPC"), QStringLiteral("127.0.0.1"), {}, QStringLiteral("{ME}")}; }
    std::unique_ptr<TOutgoingTransfer> Outgoing() {
        MakeFile(QStringLiteral("a.txt"), "alpha");
        return Service.CreateOutgoing(Me(), {TSendRow{Src("a.txt"), false, {}}});
    }
    // Answers itself while Busy or Away, with the given reply text.
    void SetAutoReply(TOnlineState state, const QString& text) {
        const bool busy = state == TOnlineState::Busy;
        Settings[busy ? bpState_Busy_AutoReply : bpState_Away_AutoReply] = true;
        Settings[busy ? spState_Busy_AutoReplyContent : spState_Away_AutoReplyContent] = text;
        Local.SetOnlineState(state);
    }
};

TEST_F(TransferHandshake, AutoAcceptWhileBusyStreamsWithoutAnyOffer) {
    SetAutoReply(TOnlineState::Busy, QStringLiteral("busy"));
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !replied.isEmpty(); }));
    EXPECT_TRUE(replied[0][0].toBool());
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsTransferring);
    EXPECT_EQ(out->PeerHandle(), 0);
    QSignalSpy finished(out.get(), &TOutgoingTransfer::Finished);
    QSignalSpy begun(out.get(), &TOutgoingTransfer::FileBegin);
    QSignalSpy progress(out.get(), &TOutgoingTransfer::Progress);
    QSignalSpy fileDone(out.get(), &TOutgoingTransfer::FileDone);
    out->Start();
    ASSERT_TRUE(WaitUntil([&] { return !finished.isEmpty() && !Log.Arrivals.isEmpty(); }));
    EXPECT_TRUE(out->Result().AllSent());
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsFinished);
    // What a progress dialog shows, in order, on the main thread.
    ASSERT_EQ(begun.size(), 1);
    EXPECT_EQ(begun[0][1].toLongLong(), 5);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last()[1].toLongLong(), 5);
    EXPECT_EQ(progress.last()[2].toLongLong(), 5);
    ASSERT_EQ(fileDone.size(), 1);
    EXPECT_EQ(fileDone[0][1].value<TFileOutcome>().Kind, TFileOutcomeKind::Sent);
    EXPECT_EQ(out->SentLines(), QStringList{QStringLiteral("<File>") + Src("a.txt")});
    EXPECT_TRUE(Log.Offers.isEmpty());
    EXPECT_EQ(Log.Arrivals[0].first.Data.RequestHandle, 0);
    EXPECT_FALSE(Log.Arrivals[0].second);
    EXPECT_EQ(ReadAll(Inbox() + "a.txt"), "alpha");
}

TEST_F(TransferHandshake, AwayDeclinesWithItsTextAndDropsTheLaterCancel) {
    Settings[bpAutoFileTrans] = false;
    SetAutoReply(TOnlineState::Away, QStringLiteral("out to lunch"));
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !replied.isEmpty(); }));
    EXPECT_FALSE(replied[0][0].toBool());
    EXPECT_EQ(replied[0][1].toString(), QStringLiteral("[Auto-reply Message]: out to lunch"));
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsDeclined);
    EXPECT_TRUE(Log.Offers.isEmpty());
    // A declined offer is closed without a message...
    EXPECT_FALSE(out->Withdraw());
    // ...and a cancel that comes anyway is dropped while Away.
    const QByteArray cancel = EncodeFileRequestCanceled(Self, out->Handle(), 0, Lang);
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), cancel));
    // The receiver takes datagrams in order: once this one is handled, so was the cancel.
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), EncodeFileRequestDialogHandle(1, 2)));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Handles.isEmpty(); }));
    EXPECT_TRUE(Log.Cancels.isEmpty());
    Local.SetOnlineState(TOnlineState::Online);
    // Once Online the same datagram is posted: proof that the first was dropped, not slow.
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), cancel));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Cancels.isEmpty(); }));
    EXPECT_EQ(Log.Cancels.size(), 1);
}

TEST_F(TransferHandshake, AcceptedByHandTheStreamNamesTheReceiveDialog) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    QSignalSpy peer(out.get(), &TOutgoingTransfer::PeerHandleArrived);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Offers.isEmpty(); }));
    const TOnlineNotify offer = Log.Offers[0];
    EXPECT_EQ(offer.SenderHandle, out->Handle());
    EXPECT_EQ(offer.IPAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(offer.UserId, QStringLiteral("{ME}"));
    TOwnerProbe dialog;
    const qint32 own = Service.Handles().Allocate(&dialog);
    ASSERT_TRUE(Service.SendDialogHandle(offer, own));
    ASSERT_TRUE(WaitUntil([&] { return !peer.isEmpty(); }));
    EXPECT_EQ(out->PeerHandle(), own);
    ASSERT_TRUE(Service.AnswerOffer(offer, own, true));
    ASSERT_TRUE(WaitUntil([&] { return !replied.isEmpty(); }));
    EXPECT_TRUE(replied[0][0].toBool());
    out->Start();
    ASSERT_TRUE(WaitUntil([&] { return !Log.Arrivals.isEmpty() && dialog.Ids.contains(WM_FILE_RECEIVED); }));
    EXPECT_EQ(Log.Arrivals[0].first.Data.RequestHandle, own);
    EXPECT_TRUE(Log.Arrivals[0].second);
}

TEST_F(TransferHandshake, ADeclineByHandReachesTheWaitingSender) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Offers.isEmpty(); }));
    ASSERT_TRUE(Service.AnswerOffer(Log.Offers[0], 0, false));
    ASSERT_TRUE(WaitUntil([&] { return !replied.isEmpty(); }));
    EXPECT_FALSE(replied[0][0].toBool());
    EXPECT_EQ(replied[0][1].toString(), QString());
}

TEST_F(TransferHandshake, CancelBeforeTheReceiverSaidItsHandleCarriesZero) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Offers.isEmpty(); }));
    EXPECT_TRUE(out->Withdraw());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Cancels.isEmpty(); }));
    EXPECT_EQ(Log.Cancels[0].first.SenderHandle, out->Handle());
    EXPECT_EQ(Log.Cancels[0].first.ReceiverHandle, 0);
    EXPECT_FALSE(Log.Cancels[0].second); // no dialog: the queue's business
}

TEST_F(TransferHandshake, ACancelReachesTheLiveReceiveDialog) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    TOwnerProbe dialog;
    const qint32 own = Service.Handles().Allocate(&dialog);
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), EncodeFileRequestCanceled(Self, 77, own, Lang)));
    ASSERT_TRUE(WaitUntil([&] { return dialog.Ids.contains(WM_FILE_REQUESTCANCELED); }));
    ASSERT_EQ(Log.Cancels.size(), 1);
    EXPECT_TRUE(Log.Cancels[0].second);
}

TEST_F(TransferHandshake, AHandleThisNodeNeverIssuedChangesNothing) {
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    const qint32 stranger = out->Handle() + 1000;
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), EncodeFileRequestDialogHandle(stranger, 55)));
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"),
                                     EncodeFileRequestReply(Self, stranger, true, false, {}, Lang)));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Handles.isEmpty() && !Log.Replies.isEmpty(); }));
    EXPECT_FALSE(Log.Handles[0].second);
    EXPECT_FALSE(Log.Replies[0].second);
    EXPECT_EQ(out->PeerHandle(), 0);
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsComposing);
}

TEST_F(TransferHandshake, AReplyForAnOfferNotWaitingChangesNothing) {
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"),
                                     EncodeFileRequestReply(Self, out->Handle(), true, false, {}, Lang)));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Replies.isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Log.Replies[0].second);
    EXPECT_TRUE(replied.isEmpty());
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsComposing);
}

TEST_F(TransferHandshake, AStreamNobodyAcceptedIsNotStored) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    MakeFile(QStringLiteral("pushed.txt"), "unasked");
    const TSendResult result = RunSend(Plan(QStringList{Src("pushed.txt")}, 12345));
    EXPECT_TRUE(result.Connected);
    // An offer accepted by hand lets its own stream in, and only that one.
    TOnlineNotify offer;
    offer.IPAddress = QStringLiteral("127.0.0.1");
    offer.SenderHandle = 1;
    ASSERT_TRUE(Service.AnswerOffer(offer, 999, true));
    MakeFile(QStringLiteral("allowed.txt"), "ok");
    ASSERT_TRUE(RunSend(Plan(QStringList{Src("allowed.txt")}, 999)).AllSent());
    RunSend(Plan(QStringList{Src("allowed.txt")}, 999)); // used up: refused, whatever the sender saw
    ASSERT_TRUE(WaitUntil([&] { return !Log.Arrivals.isEmpty(); }));
    EXPECT_EQ(Log.Arrivals.size(), 1);
    EXPECT_EQ(Log.Arrivals[0].first.ReceivedNames, QStringList{QStringLiteral("allowed.txt")});
    EXPECT_FALSE(QFileInfo::exists(Inbox() + "pushed.txt"));
}

TEST_F(TransferHandshake, DestroyingATransferReleasesItsHandle) {
    ASSERT_TRUE(StartWith());
    qint32 handle = 0;
    {
        auto out = Outgoing();
        handle = out->Handle();
        EXPECT_NE(handle, 0);
        EXPECT_EQ(Service.Handles().Owner(handle), out.get());
    }
    EXPECT_EQ(Service.Handles().Owner(handle), nullptr);
}

} // namespace
