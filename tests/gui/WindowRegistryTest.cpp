#include "ui/WindowRegistryUnit.h"
#include "core/PostedEventUnit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QSet>
#include <memory>
#include <vector>

namespace {

TEST(WindowRegistry, FindsByClassNameWithoutCase) {
    QObject window;
    TWindowRegistry& registry = TWindowRegistry::Instance();
    registry.Register(&window, QStringLiteral("WM_00-0c-29-3e-5a-7f"));
    EXPECT_EQ(registry.FindByClass(QStringLiteral("WM_00-0C-29-3E-5A-7F")), &window);
    EXPECT_EQ(registry.FindByClass(QStringLiteral("wm_00-0c-29-3e-5a-7f")), &window);
    EXPECT_EQ(registry.FindByClass(QStringLiteral("WF_00-0C-29-3E-5A-7F")), nullptr);
    EXPECT_EQ(registry.FindByClass(QStringLiteral("WM_00-0C-29-3E-5A")), nullptr);
}

TEST(WindowRegistry, HandlesAreNonZeroAndDistinct) {
    TWindowRegistry& registry = TWindowRegistry::Instance();
    std::vector<std::unique_ptr<QObject>> windows;
    QSet<quint32> handles;
    for (int i = 0; i < 50; ++i) {
        windows.push_back(std::make_unique<QObject>());
        const quint32 handle = registry.Register(windows.back().get(), QStringLiteral("QLM_FILEREQUEST"));
        EXPECT_NE(handle, 0u);
        handles.insert(handle);
        EXPECT_EQ(registry.FindByHandle(handle), windows.back().get());
        EXPECT_EQ(registry.HandleOf(windows.back().get()), handle);
    }
    EXPECT_EQ(handles.size(), 50);
}

TEST(WindowRegistry, RegisteringAgainReplacesTheEntry) {
    QObject window;
    TWindowRegistry& registry = TWindowRegistry::Instance();
    const quint32 first = registry.Register(&window, QStringLiteral("QLM_REREGISTER_OLD"));
    const quint32 second = registry.Register(&window, QStringLiteral("QLM_REREGISTER_NEW"));
    EXPECT_NE(first, second);
    EXPECT_EQ(registry.FindByHandle(first), nullptr);
    EXPECT_EQ(registry.FindByClass(QStringLiteral("QLM_REREGISTER_OLD")), nullptr);
    EXPECT_EQ(registry.FindByClass(QStringLiteral("QLM_REREGISTER_NEW")), &window);
}

TEST(WindowRegistry, EntryGoesWithItsObject) {
    TWindowRegistry& registry = TWindowRegistry::Instance();
    auto window = std::make_unique<QObject>();
    const quint32 handle = registry.Register(window.get(), QStringLiteral("QLM_BROADCAST_CLASS_GONE"));
    window.reset();
    EXPECT_EQ(registry.FindByClass(QStringLiteral("QLM_BROADCAST_CLASS_GONE")), nullptr);
    EXPECT_EQ(registry.FindByHandle(handle), nullptr);

    auto other = std::make_unique<QObject>();
    const quint32 otherHandle = registry.Register(other.get(), QStringLiteral("QLM_UNREGISTERED"));
    registry.Unregister(other.get());
    EXPECT_EQ(registry.FindByHandle(otherHandle), nullptr);
    EXPECT_EQ(registry.HandleOf(other.get()), 0u);
    EXPECT_EQ(registry.FindByClass(QStringLiteral("QLM_UNREGISTERED")), nullptr);
}

// ------------------------------------------------------------ posted events

struct TPayload {
    QString Text;
    std::shared_ptr<int> Alive; // use_count tells whether a copy still exists
};

class TReceiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (!TPostedEvent::IsPosted(e)) return QObject::event(e);
        auto* posted = static_cast<TPostedEvent*>(e);
        Ids.push_back(posted->Id());
        WParam = posted->WParam();
        LParam = posted->LParam();
        WrongType = posted->TakeRecord<int>() != nullptr;
        First = posted->TakeRecord<TPayload>();
        Second = posted->TakeRecord<TPayload>();
        return true;
    }
    std::vector<int> Ids;
    qintptr WParam = 0, LParam = 0;
    bool WrongType = true;
    std::unique_ptr<TPayload> First, Second;
};

TEST(PostedEvent, RecordIsTakenExactlyOnce) {
    TReceiver receiver;
    auto alive = std::make_shared<int>(1);
    PostWindowEvent(&receiver, WM_ACTIVATE_INSTANCE, 7, -3, TPayload{QStringLiteral("hello"), alive});
    EXPECT_TRUE(receiver.Ids.empty()); // posted, not sent
    QCoreApplication::sendPostedEvents(&receiver);
    ASSERT_EQ(receiver.Ids, std::vector<int>{WM_ACTIVATE_INSTANCE});
    EXPECT_EQ(receiver.WParam, 7);
    EXPECT_EQ(receiver.LParam, -3);
    EXPECT_FALSE(receiver.WrongType);
    ASSERT_NE(receiver.First, nullptr);
    EXPECT_EQ(receiver.First->Text, QStringLiteral("hello"));
    EXPECT_EQ(receiver.Second, nullptr);
    // The handler holds the only copy; the event kept none.
    EXPECT_EQ(alive.use_count(), 2);
    receiver.First.reset();
    EXPECT_EQ(alive.use_count(), 1);
}

TEST(PostedEvent, EventWithoutRecordHasNone) {
    TReceiver receiver;
    PostWindowEvent(&receiver, WM_ACTIVATE_INSTANCE);
    QCoreApplication::sendPostedEvents(&receiver);
    ASSERT_EQ(receiver.Ids.size(), 1u);
    EXPECT_EQ(receiver.First, nullptr);
}

TEST(PostedEvent, RecordOfAVanishedTargetIsFreed) {
    auto alive = std::make_shared<int>(1);
    PostWindowEvent(nullptr, WM_ACTIVATE_INSTANCE, 0, 0, TPayload{QString(), alive});
    EXPECT_EQ(alive.use_count(), 1);

    auto receiver = std::make_unique<TReceiver>();
    PostWindowEvent(receiver.get(), WM_ACTIVATE_INSTANCE, 0, 0, TPayload{QString(), alive});
    EXPECT_EQ(alive.use_count(), 2);
    receiver.reset(); // the pending event dies with its target
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(alive.use_count(), 1);
}

TEST(PostedEvent, UnhandledRecordIsFreedWithItsEvent) {
    auto alive = std::make_shared<int>(1);
    QObject plain; // ignores the event, never takes the record
    PostWindowEvent(&plain, WM_ACTIVATE_INSTANCE, 0, 0, TPayload{QString(), alive});
    QCoreApplication::sendPostedEvents(&plain);
    EXPECT_EQ(alive.use_count(), 1);
}

} // namespace
