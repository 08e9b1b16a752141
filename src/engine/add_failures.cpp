#include "add_failures.h"

#include "app_identity.h"

namespace tallowin {

std::string AddFailuresText(const std::vector<AddFailure>& failures, size_t maxListed)
{
    std::string text = failures.size() == 1 ? "This file could not be added:\n"
                                            : std::to_string(failures.size()) + " files could not be added:\n";
    size_t listed = 0;
    for (const AddFailure& entry : failures) {
        if (listed == maxListed) break;
        ++listed;
        text += "\n";
        if (!entry.failure.namesFile) text += entry.path + "\n    ";
        text += entry.failure.reason;
    }
    if (listed < failures.size()) text += "\n\n... and " + std::to_string(failures.size() - listed) + " more.";
    return text;
}

void ReportAddFailures(const std::vector<AddFailure>& failures, WindowPort& port)
{
    if (failures.empty()) return;
    if (failures.size() == 1 && !failures.front().failure.caption.empty()) {
        port.ShowMessage(failures.front().failure.reason, failures.front().failure.caption);
        return;
    }
    port.ShowMessage(AddFailuresText(failures), kApplicationTitle, MessageButtons::Ok, MessageIcon::Warning);
}

}  // namespace tallowin
