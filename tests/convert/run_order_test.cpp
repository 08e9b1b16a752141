// The pieces of a parallel run that need no photos: the order in which photos reach
// the user, the progress text with its time left, the counts of the closing question
// and the worker setting.

#include "convert/conversion_run.h"
#include "convert/ordered_run.h"
#include "convert/run_progress.h"
#include "convert/run_summary.h"
#include "settings_store.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tallowin::test {
namespace {

using namespace std::chrono_literals;

// Records the order's events as "start 1", "step 1", "hand 1 <lines>".
struct OrderRecord {
    std::vector<std::string> events;
    PhotoOrder::Events Events()
    {
        PhotoOrder::Events e;
        e.started = [this](size_t i) { events.push_back("start " + std::to_string(i)); };
        e.step = [this](size_t i) { events.push_back("step " + std::to_string(i)); };
        e.handOver = [this](size_t i, EndedPhoto& ended) {
            std::string text = "hand " + std::to_string(i);
            for (const std::string& line : ended.lines) text += " " + line;
            events.push_back(text);
        };
        return e;
    }
};

TEST(PhotoOrderTest, PhotosThatEndOutOfOrderAreHandedOverInListOrder)
{
    OrderRecord record;
    PhotoOrder order(4, record.Events());
    for (size_t i = 0; i < 3; ++i) order.Start(i);
    EXPECT_EQ(record.events, (std::vector<std::string>{"start 0", "step 0", "start 1", "start 2"}));
    record.events.clear();

    order.Ended(2, {ConversionOutcome::Converted(), {"two"}});
    order.Ended(1, {ConversionOutcome::Converted(), {"one"}});
    EXPECT_TRUE(record.events.empty());  // both wait for photo 0
    EXPECT_TRUE(order.HasTurn(0));
    EXPECT_FALSE(order.HasTurn(1));

    order.Ended(0, {ConversionOutcome::Failure("gone"), {"zero"}});
    EXPECT_EQ(record.events, (std::vector<std::string>{"hand 0 zero", "step 1", "hand 1 one", "step 2", "hand 2 two"}));
    EXPECT_TRUE(order.HasTurn(3));
    record.events.clear();

    // The next photo starts after its turn has come: its step comes with its start.
    order.Start(3);
    EXPECT_EQ(record.events, (std::vector<std::string>{"start 3", "step 3"}));
    EXPECT_EQ(order.StartedCount(), 4u);
}

TEST(PhotoOrderTest, TheQueueServesStartedPhotosThenEndsWhenClosed)
{
    PhotoOrder order(3, {});
    order.Start(0);
    order.Start(1);
    EXPECT_EQ(order.NextToConvert(), 0u);
    EXPECT_EQ(order.NextToConvert(), 1u);
    order.CloseQueue();
    EXPECT_EQ(order.NextToConvert(), std::nullopt);
}

TEST(PhotoOrderTest, ALaterPhotoWaitsForItsTurnAndRoomFollowsTheEnds)
{
    PhotoOrder order(3, {});
    order.Start(0);
    order.Start(1);
    std::atomic<bool> turn{false};
    std::thread later([&] {
        order.WaitTurn(1);
        turn = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(turn.load());
    order.Ended(0, {});
    later.join();
    EXPECT_TRUE(turn.load());

    // Two workers, one converting: room. A lookahead of one, one photo waiting: none.
    order.WaitForRoom(2, 2);
    std::atomic<bool> room{false};
    std::thread dispatcher([&] {
        order.WaitForRoom(1, 5);
        room = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(room.load());
    order.Ended(1, {});
    dispatcher.join();
    EXPECT_TRUE(room.load());
}

TEST(PhotoOrderTest, PhotosWithTheSameOutputFollowTheLastEarlierOne)
{
    const auto earlier = EarlierSameOutput({"/r/a.jpg", "/r/b.jpg", "/r/a.jpg", "/r/a.jpg", "/r/c.jpg"});
    ASSERT_EQ(earlier.size(), 5u);
    EXPECT_EQ(earlier[0], std::nullopt);
    EXPECT_EQ(earlier[1], std::nullopt);
    EXPECT_EQ(earlier[2], 0u);
    EXPECT_EQ(earlier[3], 2u);
    EXPECT_EQ(earlier[4], std::nullopt);
}

TEST(RunProgressText, TimeLeftInSecondsUnderAMinuteThenMinutes)
{
    EXPECT_EQ(TimeLeftText(0.2), "about 1 s left");
    EXPECT_EQ(TimeLeftText(40.0), "about 40 s left");
    EXPECT_EQ(TimeLeftText(59.2), "about 1 min left");
    EXPECT_EQ(TimeLeftText(89.0), "about 1 min left");
    EXPECT_EQ(TimeLeftText(91.0), "about 2 min left");
    EXPECT_EQ(TimeLeftText(3600.0), "about 60 min left");

    EXPECT_EQ(SecondsLeft(0, 10, 5.0), std::nullopt);  // nothing measured yet
    EXPECT_EQ(SecondsLeft(10, 10, 5.0), std::nullopt);  // nothing left
    EXPECT_DOUBLE_EQ(SecondsLeft(2, 32, 20.0).value(), 300.0);

    EXPECT_EQ(ProgressText(3, 32, "beach.jpg", std::nullopt), "3 of 32 \u00B7 beach.jpg");
    EXPECT_EQ(ProgressText(3, 32, "beach.jpg", 300.0), "3 of 32 \u00B7 beach.jpg \u00B7 about 5 min left");
}

struct FakeClock {
    std::chrono::steady_clock::time_point now{};
    RunProgress::Clock Get()
    {
        return [this] { return now; };
    }
};

TEST(RunProgressText, TheTimeLeftFollowsTheMeasuredPace)
{
    FakeClock clock;
    RunProgress progress(clock.Get());
    progress.Start();
    clock.now += 10s;
    EXPECT_EQ(progress.Text(1, 4, "a.jpg"), "1 of 4 \u00B7 a.jpg");  // no photo ended yet
    progress.PhotoEnded();
    EXPECT_EQ(progress.Text(2, 4, "b.jpg"), "2 of 4 \u00B7 b.jpg \u00B7 about 30 s left");
    clock.now += 50s;  // the second photo was slow: 30 s a photo on average
    progress.PhotoEnded();
    EXPECT_EQ(progress.Text(3, 4, "c.jpg"), "3 of 4 \u00B7 c.jpg \u00B7 about 1 min left");
}

TEST(RunProgressText, WithoutAStartThePaceIsMeasuredFromTheFirstEnd)
{
    FakeClock clock;
    clock.now += 100s;  // the photos were read before the conversion began
    RunProgress progress(clock.Get());
    clock.now += 1000s;
    EXPECT_EQ(progress.EndedLine(1, 5, "a.jpg"), "1 of 5 \u00B7 a.jpg");
    clock.now += 4s;
    EXPECT_EQ(progress.EndedLine(2, 5, "b.jpg"), "2 of 5 \u00B7 b.jpg \u00B7 about 12 s left");
    clock.now += 4s;
    EXPECT_EQ(progress.EndedLine(5, 5, "e.jpg"), "5 of 5 \u00B7 e.jpg");  // none left
}

TEST(RunSummaryText, TheClosingQuestionCountsEveryOutcome)
{
    RunSummary summary;
    summary.total = 32;
    for (int i = 0; i < 6; ++i) summary.Count(OutcomeKind::Converted);
    summary.Count(OutcomeKind::ConvertedInPart);
    summary.Count(OutcomeKind::Failed);
    summary.Count(OutcomeKind::Skipped);
    summary.Count(OutcomeKind::Skipped);
    EXPECT_EQ(summary.Written(), 7u);
    EXPECT_EQ(summary.Ended(), 10u);
    EXPECT_EQ(ClosingQuestion(summary, false),
              "The conversion is done. 6 converted, 1 converted in part, 1 failed, 2 skipped. Do you want to open the "
              "output folder?");
    EXPECT_EQ(ClosingQuestion(summary, true),
              "The conversion was stopped: 7 of 32 photos written. 6 converted, 1 converted in part, 1 failed, 2 "
              "skipped. Do you want to open the output folder?");
}

class WorkerSettingTest : public TestWorld {};

TEST_F(WorkerSettingTest, TheStoredCountOrTheMachinesCores)
{
    SettingsStore store((Root() / "config" / "workers.ini").string());
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(WindowRunWorkers(store), std::min<size_t>(cores, 64));
    for (const int32_t unusable : {0, -3}) {
        store.WriteProfileInt("Option", "workers", unusable);
        EXPECT_EQ(WindowRunWorkers(store), std::min<size_t>(cores, 64)) << unusable;
    }
    store.WriteProfileInt("Option", "workers", 3);
    EXPECT_EQ(WindowRunWorkers(store), 3u);
    store.WriteProfileInt("Option", "workers", 1000);
    EXPECT_EQ(WindowRunWorkers(store), 64u);
}

}  // namespace
}  // namespace tallowin::test
