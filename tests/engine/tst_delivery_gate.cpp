// The final progress message's hand-off: delivered at once on the receiver's
// thread, waited for from any other, and given up when the receiver is
// itself waiting for the sender.

#include "engine/ConversionEvents.h"
#include "engine/DeliveryGate.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <thread>

using namespace zorvane;

namespace {

class Receiver final : public QObject {
public:
    std::atomic<int> handled{0};

protected:
    // The engine's numbers lie above QEvent::User.
    void customEvent(QEvent* e) override {
        if (EngineEventCast<ConvProgressEvent>(e)) {
            ++handled;
        }
    }
};

enum Fate { Handled, Dropped, ReceiverWaits };

} // namespace

class TestDeliveryGate : public QObject {
    Q_OBJECT

private slots:
    void onTheReceiversThreadItIsSentAtOnce() {
        Receiver receiver;
        bool posted = false;
        const bool delivered = DeliveryGate::Deliver(
            &receiver, new ConvProgressEvent(1, 2),
            [&](ConversionEvent* e) {
                posted = true;
                delete e;
            },
            [] { return true; });
        QVERIFY(delivered);
        QVERIFY(!posted);
        QCOMPARE(receiver.handled.load(), 1);
    }

    void fromAnotherThread_data() {
        QTest::addColumn<int>("fate");
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<int>("handledOnReturn");
        QTest::addColumn<int>("handledInTheEnd");
        QTest::newRow("handled") << int(Handled) << true << 1 << 1;
        QTest::newRow("dropped unhandled") << int(Dropped) << true << 0 << 0;
        // Cancel: the receiver stops the run and waits without handling events.
        QTest::newRow("receiver waits for the sender") << int(ReceiverWaits) << false << 0 << 1;
    }

    void fromAnotherThread() {
        QFETCH(int, fate);
        QFETCH(bool, delivered);
        QFETCH(int, handledOnReturn);
        QFETCH(int, handledInTheEnd);
        Receiver receiver;
        std::atomic<bool> keepWaiting{fate != ReceiverWaits};
        std::atomic<int> result{-1};
        std::atomic<int> handledAtReturn{-1};
        auto post = [&](ConversionEvent* e) {
            if (fate == Dropped) {
                delete e;
                return;
            }
            e->AnnotatePublished();
            QCoreApplication::postEvent(&receiver, e);
        };
        std::thread sender([&] {
            const bool returned = DeliveryGate::Deliver(&receiver, new ConvProgressEvent(100, 100),
                                                        post, [&] { return keepWaiting.load(); });
            handledAtReturn = receiver.handled.load();
            result = returned ? 1 : 0;
        });
        if (fate != ReceiverWaits) {
            // Handles events meanwhile; the one that waits for the sender does not.
            if (!QTest::qWaitFor([&] { return result.load() != -1; }, 5000)) {
                keepWaiting = false; // so that the sender can be joined
            }
        }
        sender.join();
        QCOMPARE(result.load() == 1, delivered);
        QCOMPARE(handledAtReturn.load(), handledOnReturn);
        QCoreApplication::sendPostedEvents(); // a late event is still handled and freed
        QCOMPARE(receiver.handled.load(), handledInTheEnd);
    }
};

QTEST_GUILESS_MAIN(TestDeliveryGate)
#include "tst_delivery_gate.moc"
