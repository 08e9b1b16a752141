#pragma once
// A run whose folder goes away (deleted, or its disk unmounted) would fail every
// photo left, one message each. After a photo fails, the run asks this watch whether
// the folder is still there; once it is gone the run stops with one message.

#include <atomic>
#include <functional>
#include <string>

namespace tallowin {

class RunFolderWatch {
public:
    explicit RunFolderWatch(std::string runFolder) : runFolder_(std::move(runFolder)) {}

    // Call after a photo that was not converted. True when the run folder is gone:
    // the run must stop. The first caller that finds it gone (of any thread) gets the
    // message through `tell`; later callers only get true.
    bool GoneAfterFailure(const std::function<void(const std::string&)>& tell);

    // Whether a caller has found the folder gone.
    bool Stopped() const { return stopped_.load(); }

    // The message of a run stopped because its folder went away.
    static std::string GoneText(const std::string& runFolder);

private:
    std::string runFolder_;
    std::atomic<bool> stopped_{false};
};

}  // namespace tallowin
