#pragma once
// The question whether an existing output file is replaced: what its answers mean for
// the photo in hand, the answers "to all" that stand for the rest of a run, and the
// free name beside the existing file that "Keep both" writes to.

#include "window_port.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace tallowin {

// What happens to a photo whose output file exists.
enum class ReplaceAnswer {
    Replace,   // the new file replaces the old one
    Keep,      // the old file is kept and the photo is skipped
    KeepBoth,  // the old file is kept and the new one gets a free name beside it
};

// The answers of one run. An answer "to all" is given for every later question of the
// run without asking. Safe for several converting threads: a question is asked by one
// thread at a time, so an answer "to all" is never followed by a second question.
class ReplaceMemory {
public:
    // The answer for one existing file: the standing answer "to all", or `ask`'s
    // choice (remembered when it is one "to all").
    ReplaceAnswer Answer(const std::function<ReplaceChoice()>& ask);

private:
    std::mutex mutex_;
    std::optional<ReplaceAnswer> forAll_;
};

// "name (n).ext" for `path` "folder/name.ext" (n from 2); a name without an extension,
// or one that only starts with a dot, gets " (n)" at its end.
std::string NumberedName(const std::string& path, int number);

// Claims the first free numbered name beside `path` ("photo (2).jpg", then
// "photo (3).jpg", ...) by creating it empty, so no other writer, thread or process
// takes the same name before the output is renamed over it. Empty when no name could
// be created (an unwritable folder, or a thousand numbered names taken).
std::string ClaimFreeNameBeside(const std::string& path);

}  // namespace tallowin
