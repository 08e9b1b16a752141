#pragma once
// What a run did with its photos, counted by outcome, and the closing question that
// says so before it offers to open the run folder.

#include "conversion_outcome.h"

#include <cstddef>
#include <string>

namespace tallowin {

struct RunSummary {
    size_t total = 0;  // photos the run was given
    size_t converted = 0;
    size_t inPart = 0;
    size_t failed = 0;
    size_t skipped = 0;

    void Count(OutcomeKind kind);
    // Photos whose output file was written (converted, whole or in part).
    size_t Written() const { return converted + inPart; }
    // Photos that have an outcome.
    size_t Ended() const { return converted + inPart + failed + skipped; }
};

// "12 converted, 1 converted in part, 2 failed, 0 skipped."
std::string SummaryCounts(const RunSummary& summary);

// The question at the end of a run: "The conversion is done." or, after a stop,
// "The conversion was stopped: 9 of 32 photos written.", then the counts, then "Do you
// want to open the output folder?".
std::string ClosingQuestion(const RunSummary& summary, bool stopped);

}  // namespace tallowin
