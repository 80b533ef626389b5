#include "node/LogRecorderUnit.h"

#include "messaging/ChatLogRecordUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileLogUnit.h"
#include "transfer/TransferServiceUnit.h"

TLogRecorder::TLogRecorder(TSink sink, const TMessageLang& lang, QObject* parent)
    : QObject(parent), FSink(std::move(sink)), FLang(lang) {}

void TLogRecorder::Add(TLogRecord record) {
    if (FSink) FSink(std::move(record));
}

void TLogRecorder::Connect(TChatService& chat) {
    const auto received = [this, &chat](TChatKind kind) {
        return [this, &chat, kind](const TBroadcastData& record) {
            TLogRecord logged = ChatLogRecords::Received(record, kind, FLang);
            logged.Hold = chat.ArrivalHold();
            Add(std::move(logged));
        };
    };
    connect(&chat, &TChatService::MessageArrived, this, received(TChatKind::Message));
    connect(&chat, &TChatService::RefusalArrived, this, received(TChatKind::Refusal));
    connect(&chat, &TChatService::BroadcastArrived, this, received(TChatKind::Broadcast));
    connect(&chat, &TChatService::SendFinished, this, [this](quint64, const TSendMessageResult& result) {
        if (std::optional<TLogRecord> record = ChatLogRecords::SentMessage(result, FLang.LanguageId()))
            Add(std::move(*record));
    });
    connect(&chat, &TChatService::BroadcastFinished, this, [this](quint64, const TBroadcastResult& result) {
        if (std::optional<TLogRecord> record = ChatLogRecords::SentBroadcast(result, FLang)) Add(std::move(*record));
    });
}

void TLogRecorder::Connect(TTransferService& transfer) {
    connect(&transfer, &TTransferService::FilesArrived, this, [this](const TFilesArrival& arrival) {
        TLogRecord record;
        if (FileLog::ReceivedRecord(arrival, &record)) Add(std::move(record));
    });
    connect(&transfer, &TTransferService::BatchSent, this, [this](const TRecipient& consignee, const QStringList& lines) {
        if (lines.isEmpty()) return;
        Add(FileLog::SentRecord(consignee, lines, FLang.LanguageId(), QDateTime::currentDateTime()));
    });
}
