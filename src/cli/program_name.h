#pragma once
// The name every message of tallowin-batch starts with.

namespace tallowin::cli {

inline constexpr const char* kProgramName = "tallowin-batch";

}  // namespace tallowin::cli
