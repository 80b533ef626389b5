#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <memory>
#include <typeinfo>

// Event ids that cross threads or processes. The listener's ids (0x1401 ...)
// join this list with the network code.
enum TWindowEventId : int {
    WM_ACTIVATE_INSTANCE = 0x1501,
};

// Type-erased owner of the record a posted event carries; it names the
// record's type, so a receiver takes it by type without a cast that may fail.
struct TEventRecordBase {
    virtual ~TEventRecordBase() = default;
    virtual const std::type_info& Type() const = 0;
};
template <typename T> struct TEventRecord final : TEventRecordBase {
    explicit TEventRecord(T value) : Value(std::move(value)) {}
    const std::type_info& Type() const override { return typeid(T); }
    T Value;
};

// A posted window event: an id, two parameters and the record it carries. The
// event owns the record until a handler takes it, so it has exactly one owner.
class TPostedEvent : public QEvent {
public:
    static constexpr int Base = QEvent::User;

    TPostedEvent(int id, qintptr wParam = 0, qintptr lParam = 0, std::unique_ptr<TEventRecordBase> record = {})
        : QEvent(QEvent::Type(Base + id)), FId(id), FWParam(wParam), FLParam(lParam), FRecord(std::move(record)) {}

    int Id() const { return FId; }
    qintptr WParam() const { return FWParam; }
    qintptr LParam() const { return FLParam; }
    // Moves the record out; null when there is none or it has another type.
    template <typename T> std::unique_ptr<T> TakeRecord() {
        if (!HoldsRecord<T>()) return {};
        auto taken = std::make_unique<T>(std::move(static_cast<TEventRecord<T>*>(FRecord.get())->Value));
        FRecord.reset();
        return taken;
    }
    template <typename T> bool HoldsRecord() const { return FRecord && FRecord->Type() == typeid(T); }
    bool HasRecord() const { return FRecord != nullptr; }
    // The record's type; null without a record.
    const std::type_info* RecordType() const { return FRecord ? &FRecord->Type() : nullptr; }
    static bool IsPosted(const QEvent* e) { return e->type() >= Base && e->type() < Base + 0x8000; }

private:
    int FId;
    qintptr FWParam;
    qintptr FLParam;
    std::unique_ptr<TEventRecordBase> FRecord;
};

// Posts to target's thread; a null target drops the event and its record.
template <typename T>
void PostWindowEvent(QObject* target, int id, qintptr wParam, qintptr lParam, T record) {
    if (!target) return;
    QCoreApplication::postEvent(target, new TPostedEvent(id, wParam, lParam,
                                                         std::make_unique<TEventRecord<T>>(std::move(record))));
}
inline void PostWindowEvent(QObject* target, int id, qintptr wParam = 0, qintptr lParam = 0) {
    if (!target) return;
    QCoreApplication::postEvent(target, new TPostedEvent(id, wParam, lParam));
}
