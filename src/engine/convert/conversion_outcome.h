#pragma once
// How the conversion of one photo ended: one kind and, where it explains anything,
// a reason in words the user can read.

#include "photo_status.h"

#include <string>
#include <utility>

namespace tallowin {

enum class OutcomeKind {
    Converted,        // the output file was written from the whole source
    ConvertedInPart,  // the output file was written, but the source decoded only in part
    Failed,           // nothing was written under the output name
    Skipped,          // nothing was written by choice (an existing file kept, an unknown format code)
};

struct ConversionOutcome {
    OutcomeKind kind = OutcomeKind::Failed;
    std::string reason;  // why the photo was converted in part, failed or skipped; empty when converted
    // The file written instead of the output name when the existing file was kept
    // beside it ("photo (2).jpg"); empty otherwise.
    std::string writtenAs;

    static ConversionOutcome Converted() { return {OutcomeKind::Converted, {}, {}}; }
    static ConversionOutcome InPart(std::string why) { return {OutcomeKind::ConvertedInPart, std::move(why), {}}; }
    static ConversionOutcome Failure(std::string why) { return {OutcomeKind::Failed, std::move(why), {}}; }
    static ConversionOutcome Skip(std::string why) { return {OutcomeKind::Skipped, std::move(why), {}}; }

    // An output file now stands under the output name (or under writtenAs).
    bool Written() const { return kind == OutcomeKind::Converted || kind == OutcomeKind::ConvertedInPart; }
};

// The list's status of a photo whose conversion ended so; its label is also the
// outcome the batch tool reports.
inline PhotoStatus StatusAfter(OutcomeKind kind)
{
    switch (kind) {
        case OutcomeKind::Converted: return PhotoStatus::Converted;
        case OutcomeKind::ConvertedInPart: return PhotoStatus::ConvertedInPart;
        case OutcomeKind::Skipped: return PhotoStatus::Skipped;
        case OutcomeKind::Failed: break;
    }
    return PhotoStatus::Failed;
}

}  // namespace tallowin
