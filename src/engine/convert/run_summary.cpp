#include "run_summary.h"

namespace tallowin {

void RunSummary::Count(OutcomeKind kind)
{
    switch (kind) {
        case OutcomeKind::Converted:
            ++converted;
            break;
        case OutcomeKind::ConvertedInPart:
            ++inPart;
            break;
        case OutcomeKind::Failed:
            ++failed;
            break;
        case OutcomeKind::Skipped:
            ++skipped;
            break;
    }
}

std::string SummaryCounts(const RunSummary& summary)
{
    return std::to_string(summary.converted) + " converted, " + std::to_string(summary.inPart) +
        " converted in part, " + std::to_string(summary.failed) + " failed, " + std::to_string(summary.skipped) +
        " skipped.";
}

std::string ClosingQuestion(const RunSummary& summary, bool stopped)
{
    const std::string head = stopped ? "The conversion was stopped: " + std::to_string(summary.Written()) + " of " +
            std::to_string(summary.total) + (summary.total == 1 ? " photo written." : " photos written.")
                                     : std::string("The conversion is done.");
    return head + " " + SummaryCounts(summary) + " Do you want to open the output folder?";
}

}  // namespace tallowin
