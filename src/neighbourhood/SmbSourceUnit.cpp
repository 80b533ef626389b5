#include "neighbourhood/SmbSourceUnit.h"

#include "platform/NetworkPolicyUnit.h"

#include <QDeadlineTimer>
#include <QUrl>

#include <libsmbclient.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr int kWaitSliceMs = 50;

// The library keeps process-wide state beside its contexts (its debug and
// configuration globals): one call at a time in the process. Every library
// thread holds this state, so it outlives the statics torn down at exit.
struct TLibraryState {
    std::mutex Library;
    std::mutex Mutex;
    std::condition_variable Idle;
    int Running = 0;
};

std::shared_ptr<TLibraryState> LibraryState() {
    static const std::shared_ptr<TLibraryState> state = std::make_shared<TLibraryState>();
    return state;
}

void WaitAtExit() { WaitForSmbCalls(SmbExitWaitMs); }

// What the library thread hands back; shared, since a browse may stop
// waiting (cancel, time) while the library still runs.
struct TSmbCall {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    TNetBrowseResult Result;
};

void GuestAuth(SMBCCTX*, const char*, const char*, char*, int, char* user, int userLength, char* password,
               int passwordLength) {
    if (userLength > 0) user[0] = '\0';
    if (passwordLength > 0) password[0] = '\0';
}

TNetBrowseResult ListDirectory(const QByteArray& url, bool workgroups, int timeoutMs, int maxEntries) {
    TNetBrowseResult result;
    SMBCCTX* ctx = smbc_new_context();
    if (!ctx) {
        result.Available = false;
        result.Error = QStringLiteral("the SMB client library cannot start");
        return result;
    }
    smbc_setDebug(ctx, 0);
    smbc_setOptionDebugToStderr(ctx, false);
    smbc_setTimeout(ctx, timeoutMs);
    smbc_setOptionUseKerberos(ctx, false);
    smbc_setOptionUseCCache(ctx, false);
    smbc_setOptionNoAutoAnonymousLogin(ctx, false);
    smbc_setFunctionAuthDataWithContext(ctx, GuestAuth);
    // Browse lists travel over SMB1 (RAP NetServerEnum2) only: a session that
    // negotiates SMB2 or later lists nothing, and unlike smbclient -L the
    // library does not reconnect with SMB1 for the list.
    smbc_setOptionProtocols(ctx, "NT1", "NT1");
    if (!smbc_init_context(ctx)) {
        smbc_free_context(ctx, 1);
        result.Available = false;
        result.Error = QStringLiteral("the SMB client library cannot start");
        return result;
    }
    errno = 0;
    SMBCFILE* dir = smbc_getFunctionOpendir(ctx)(ctx, url.constData());
    if (!dir) {
        const int error = errno;
        result.Error = error == ENOENT ? (workgroups ? QStringLiteral("no browse master answers")
                                                    : QStringLiteral("no such workgroup"))
                                       : qt_error_string(error);
    } else {
        int entries = 0;
        while (struct smbc_dirent* e = smbc_getFunctionReaddir(ctx)(ctx, dir)) {
            if (++entries > maxEntries) break;
            // name is declared char[1] and runs past it: as an array Qt would
            // read one character.
            const char* raw = e->name;
            const QString name = QString::fromUtf8(raw).trimmed();
            if (name.isEmpty()) continue;
            if (workgroups && e->smbc_type == SMBC_WORKGROUP) result.Containers << name;
            else if (!workgroups && e->smbc_type == SMBC_SERVER) result.Computers << TNetSighting{QString(), name, {}};
        }
        smbc_getFunctionClosedir(ctx)(ctx, dir);
    }
    smbc_free_context(ctx, 1);
    return result;
}

} // namespace

TNetBrowseResult TSmbSource::Browse(const QString& container, int timeoutMs, const std::atomic<bool>& cancel) {
    // The policy guards what the library sends; a stand-in sends nothing.
    if (!FConfig.Call && Platform::NetworkPolicy() != Platform::TNetworkPolicy::Normal) {
        TNetBrowseResult r;
        r.Available = false;
        r.Error = QStringLiteral("the network policy of this process allows no browsing");
        return r;
    }
    const bool workgroups = container.isEmpty();
    const QByteArray url = workgroups ? QByteArray("smb://")
                                      : "smb://" + QUrl::toPercentEncoding(container);
    // The library cannot be interrupted: it runs on a thread of its own that
    // a browse stops waiting for past the limit; the process waits for it at
    // exit. The thread holds nothing of this source.
    auto call = std::make_shared<TSmbCall>();
    const int maxEntries = FConfig.MaxEntries;
    auto stand = FConfig.Call;
    std::shared_ptr<TLibraryState> state = LibraryState();
    static std::once_flag exitHook;
    std::call_once(exitHook, [] { std::atexit(WaitAtExit); });
    {
        std::lock_guard lock(state->Mutex);
        ++state->Running;
    }
    std::thread([state, call, url, workgroups, timeoutMs, maxEntries, stand] {
        TNetBrowseResult r;
        {
            std::lock_guard library(state->Library);
            r = stand ? stand(url, workgroups, timeoutMs) : ListDirectory(url, workgroups, timeoutMs, maxEntries);
        }
        {
            std::lock_guard lock(call->Mutex);
            call->Result = std::move(r);
            call->Finished = true;
            call->Done.notify_all();
        }
        std::lock_guard lock(state->Mutex);
        --state->Running;
        state->Idle.notify_all();
    }).detach();

    const QDeadlineTimer deadline(qMax(1, timeoutMs));
    std::unique_lock lock(call->Mutex);
    while (!call->Finished && !cancel.load() && !deadline.hasExpired())
        call->Done.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs));
    if (call->Finished) {
        TNetBrowseResult r = call->Result;
        for (TNetSighting& s : r.Computers) s.Workgroup = container;
        return r;
    }
    TNetBrowseResult late;
    late.Error = QStringLiteral("no answer within the limit");
    return late;
}

int SmbCallsRunning() {
    const std::shared_ptr<TLibraryState> state = LibraryState();
    std::lock_guard lock(state->Mutex);
    return state->Running;
}

bool WaitForSmbCalls(int maxMs) {
    const std::shared_ptr<TLibraryState> state = LibraryState();
    std::unique_lock lock(state->Mutex);
    return state->Idle.wait_for(lock, std::chrono::milliseconds(qMax(0, maxMs)), [&] { return state->Running == 0; });
}
