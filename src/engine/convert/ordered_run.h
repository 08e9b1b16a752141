#pragma once
// A run that converts several photos at once while the user sees them one after the
// other in list order. Photos start in list order; each one's log lines are held back
// until every photo before it has been handed over, and a photo that needs the user
// (a question, a message box) waits for that moment, its turn. When a photo's
// conversion ends it is handed over in its turn: its held lines, its status, the
// progress step of the next photo.
//
// Deadlock freedom: a photo only ever waits for photos before it, every photo before
// a started one has started, and the first photo not yet handed over waits for nobody.

#include "conversion_host.h"
#include "conversion_outcome.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tallowin {

class WindowConversionHost;

// What a photo's conversion left for its handover.
struct EndedPhoto {
    ConversionOutcome outcome;
    std::vector<std::string> lines;  // log lines held back, in the order they were written
};

class PhotoOrder {
public:
    struct Events {
        // Photo `index` has started (status "converting"). Called in list order.
        std::function<void(size_t index)> started;
        // Photo `index` is now the one the user follows: every photo before it is handed
        // over and it has started (the progress step). Called in list order.
        std::function<void(size_t index)> step;
        // Photo `index` is handed over. Called in list order.
        std::function<void(size_t index, EndedPhoto& ended)> handOver;
    };

    // The events are called one at a time, with the order's lock held: they may use
    // the window port but must not call back into the order.
    PhotoOrder(size_t count, Events events);

    // Blocks until fewer than `workers` started photos are converting and fewer than
    // `lookahead` started photos wait for their handover.
    void WaitForRoom(size_t workers, size_t lookahead);
    // Photo `index` starts (called in list order, from one thread): it goes to the queue
    // that NextToConvert serves.
    void Start(size_t index);
    // No more photos will start: NextToConvert returns nullopt once the queue is empty.
    void CloseQueue();
    // The next started photo to convert; nullopt when the queue is closed and empty.
    std::optional<size_t> NextToConvert();

    // Photo `index`'s conversion has ended: hands over every photo whose turn has come.
    void Ended(size_t index, EndedPhoto ended);

    // Whether every photo before `index` has been handed over.
    bool HasTurn(size_t index) const;
    // Blocks until every photo before `index` has been handed over.
    void WaitTurn(size_t index);
    // Blocks until photo `index` has been handed over.
    void WaitHandedOver(size_t index);

    // Photos started so far.
    size_t StartedCount() const;

private:
    // Both with mutex_ held.
    void StepIfDue();
    void HandOverReady();

    const Events events_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::optional<EndedPhoto>> ended_;
    std::deque<size_t> queue_;
    bool queueClosed_ = false;
    size_t started_ = 0;
    size_t converting_ = 0;  // started and not yet ended
    size_t handedOver_ = 0;  // photos 0 .. handedOver_-1 are handed over
    size_t stepped_ = 0;  // photos 0 .. stepped_-1 have had their progress step
};

// The host of one photo of an ordered run: stamps and photo information come from the
// window at once; log lines wait for the photo's turn; questions and messages wait for
// it too, and the failure boxes name the photo.
class PhotoTurnHost final : public ConversionHost {
public:
    PhotoTurnHost(WindowConversionHost& window, PhotoOrder& order, size_t index, std::string photoName);

    StampRequest NextStamp() override;
    void StampPositionReset(StampAxis axis) override;
    ReplaceAnswer AskReplace(const std::string& question, const std::string& path) override;
    void ShowMessage(const std::string& text, const std::string& caption, const std::string& detail) override;
    void Log(const std::string& line) override;
    WdpCodecLibrary* WdpLibrary() override;
    metadata::MetadataOptions PhotoInformation() override;

    // The lines still held back, for the handover.
    std::vector<std::string> TakeLines() { return std::move(lines_); }

private:
    // Waits for the photo's turn; from then on its lines go out as they come.
    void TakeTurn();
    void WriteHeldLines();

    WindowConversionHost& window_;
    PhotoOrder& order_;
    const size_t index_;
    const std::string photoName_;
    bool hasTurn_ = false;
    std::vector<std::string> lines_;
};

// For each photo, the photo before it in the list with the same output path (it must
// be handed over before this one starts), or nullopt.
std::vector<std::optional<size_t>> EarlierSameOutput(const std::vector<std::string>& outputPaths);

}  // namespace tallowin
