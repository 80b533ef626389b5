#include "console/ConsoleServiceUnit.h"

namespace {
// Recipients wait on the network, not on the processor; more than this wait
// for a free worker.
constexpr int kMaxWorkers = 32;
} // namespace

TConsoleService::TConsoleService(int languageId, QString computerName, QObject* parent)
    : QObject(parent), FLanguageId(languageId), FComputerName(std::move(computerName)) {
    FPool.setMaxThreadCount(kMaxWorkers);
}

TConsoleService::~TConsoleService() {
    FCancel->store(true);
    FPool.waitForDone();
}

TConsoleJob* TConsoleService::StartSend(const TConsoleJobRequest& request) {
    const quint64 id = ++FNextJob;
    auto* handle = new TConsoleJob(id, this);
    ++FRunning;
    struct TState {
        int Left = 0;
        QList<TConsoleRecipientResult> Results;
    };
    auto state = std::make_shared<TState>();
    state->Left = int(request.Recipients.size());
    state->Results.resize(request.Recipients.size());
    const QString sender = request.Sender.isEmpty() ? FComputerName : request.Sender;

    auto finish = [this, id, handle, state] {
        --FRunning;
        emit JobFinished(id, state->Results);
        emit handle->JobFinished(state->Results);
        handle->deleteLater();
    };
    if (request.Recipients.isEmpty()) {
        QMetaObject::invokeMethod(this, finish, Qt::QueuedConnection);
        return handle;
    }
    for (int index = 0; index < request.Recipients.size(); ++index) {
        TConsoleRequest one;
        one.Recipient = request.Recipients[index];
        one.Sender = sender;
        one.CallingName = FComputerName;
        one.Text = request.Text;
        one.LanguageId = FLanguageId;
        FPool.start([this, id, handle, index, one, state, finish, network = FNetwork, limits = FLimits,
                     cancel = FCancel, given = request.Sender] {
            const TConsoleOutcome outcome = SendConsoleMessage(one, network, limits, cancel);
            QMetaObject::invokeMethod(this, [this, id, handle, index, one, outcome, state, finish, given] {
                TConsoleRecipientResult result;
                result.Recipient = one.Recipient;
                result.Outcome = outcome;
                result.ErrorText = ConsoleErrorText(outcome, one.Recipient, given);
                state->Results[index] = result;
                emit RecipientDone(id, index, result);
                emit handle->RecipientDone(index, result);
                if (--state->Left == 0) finish();
            });
        });
    }
    return handle;
}
