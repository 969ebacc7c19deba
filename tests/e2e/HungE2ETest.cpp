// The device hanging: the instrument stops reading (stalled firmware, a USB
// adapter whose device side hangs) while the line stays, so the program's
// output queue toward it fills. The window goes on handling its timers and the
// operator's presses while it keeps polling into the full queue, nothing is
// shown, live readings return once the instrument reads again, and closing the
// window while it is hung ends at once.
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <map>

#include "FaultLine.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How the window thread kept up: the longest gap between two ticks of one of
// the window's timers, the longest wait of a press for its handling, and the
// longest and the first poll (the poll timer's handler, write included).
struct TKeptUp {
    milliseconds LongestTickGap{0};
    milliseconds LongestPress{0};
    std::chrono::microseconds FirstPoll{-1};
    std::chrono::microseconds LongestPoll{0};
    int Ticks = 0;
    int Presses = 0;
};

// Notes when the poll timer's event reaches it, before its handler runs.
class TPollStart : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Timer) At = std::chrono::steady_clock::now();
        return false;
    }
    std::chrono::steady_clock::time_point At;
};

void RecordMs(const char* name, std::chrono::microseconds d) {
    ::testing::Test::RecordProperty(name,
                                    QString::number(d.count() / 1000.0, 'f', 1).toStdString());
}

class DeviceHangs : public FaultWindowTest {
  protected:
    void Hang() {
        sim->Stall();
        EXPECT_GT(sim->FillQueue(), 0u);
        ASSERT_FALSE(sim->QueueHasRoom());
        // A reply that came before the stall was waiting for the window
        // thread while it filled the queue (seconds on a slow machine).
        WaitFor([] { return false; }, 1);
    }

    // Runs the window's event loop for ms while the operator presses
    // "复      位" (a request written into the same queue) every 700 ms.
    TKeptUp RunWatched(int ms) {
        TKeptUp kept;
        std::map<QTimer*, Clock::time_point> last;
        std::vector<QMetaObject::Connection> links;
        auto since = [](Clock::time_point t) {
            return std::chrono::duration_cast<milliseconds>(Clock::now() - t);
        };
        for (QTimer* timer : {window->Timer_Now, window->Timer_Send}) {
            last[timer] = Clock::now();
            links.push_back(QObject::connect(timer, &QTimer::timeout, [&, timer] {
                kept.LongestTickGap = std::max(kept.LongestTickGap, since(last[timer]));
                last[timer] = Clock::now();
                ++kept.Ticks;
            }));
        }
        // Connected after the window's own handler: this runs once it returned.
        TPollStart poll;
        window->Timer_Send->installEventFilter(&poll);
        links.push_back(QObject::connect(window->Timer_Send, &QTimer::timeout, [&] {
            const auto took =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - poll.At);
            if (kept.FirstPoll.count() < 0) kept.FirstPoll = took;
            kept.LongestPoll = std::max(kept.LongestPoll, took);
        }));
        Clock::time_point pressed;
        QTimer presser;
        presser.setInterval(700);
        QObject::connect(&presser, &QTimer::timeout, [&] {
            pressed = Clock::now();
            QMetaObject::invokeMethod(window->BBtn_Reset, "click", Qt::QueuedConnection);
        });
        // Connected after the window's own handler, so this runs once it returned.
        links.push_back(QObject::connect(window->BBtn_Reset, &QPushButton::clicked, [&] {
            kept.LongestPress = std::max(kept.LongestPress, since(pressed));
            ++kept.Presses;
        }));
        presser.start();
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        for (const auto& [timer, at] : last)
            kept.LongestTickGap = std::max(kept.LongestTickGap, since(at));
        for (const auto& link : links) QObject::disconnect(link);
        window->Timer_Send->removeEventFilter(&poll);
        return kept;
    }
};

TEST_F(DeviceHangs, TheWindowKeepsUpWhilePollingIntoAFullQueueAndReadingsReturnWhenItReadsAgain) {
    Start(QuietSim());
    ConnectAndTest();
    Hang();

    const int sentBefore = SentCount();
    const int liveBefore = Handled(0xDD);
    const TKeptUp kept = RunWatched(4000);
    RecordMs("first_poll_into_the_full_queue_ms", kept.FirstPoll);
    RecordMs("longest_poll_into_the_full_queue_ms", kept.LongestPoll);
    RecordMs("longest_press_ms", kept.LongestPress);
    EXPECT_LT(kept.LongestTickGap, milliseconds(1000)) << "a timer of the window stalled";
    EXPECT_GE(kept.Presses, 4);
    EXPECT_LT(kept.LongestPress, milliseconds(1000)) << "a press waited for the window";
    // Polls went on against the queue, which is still full: nothing went out,
    // nothing came back, nothing was shown.
    EXPECT_GE(SentCount() - sentBefore, 6 + kept.Presses);
    EXPECT_FALSE(sim->QueueHasRoom());
    EXPECT_EQ(Handled(0xDD), liveBefore);
    EXPECT_TRUE(GlobVar.Connected);
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_TRUE(platform.Errors.empty());

    // The instrument reads again, noise and all, and answers the next polls on
    // the same port: no reopening.
    sim->Resume();
    ASSERT_TRUE(WaitFor([&] { return Handled(0xDD) >= liveBefore + 3; }, 20));
    EXPECT_TRUE(ShowsReadingOfTheLoad(*window));
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(DeviceHangs, ClosingWhileHungEndsTheMessageLoopAndTheWindowAtOnce) {
    Start(QuietSim());
    ConnectAndTest();
    Hang();  // and a poll or two into the full queue

    // "退出": the disconnect frame goes nowhere, the window closes, the message
    // loop ends and destroying the window closes the port over the full queue.
    QTimer::singleShot(0, window->BitBtn7, &QPushButton::click);
    QTimer::singleShot(10000, qApp, &QCoreApplication::quit);  // a hang fails below
    const auto start = Clock::now();
    QApplication::exec();
    EXPECT_FALSE(window->isVisible());
    window.reset();
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    RecordMs("close_over_the_full_queue_ms", took);
    EXPECT_LT(took, milliseconds(1000));
    EXPECT_TRUE(platform.Boxes.empty());
}

}  // namespace
