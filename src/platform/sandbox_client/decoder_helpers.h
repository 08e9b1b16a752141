#pragma once
// What the programs ask of the decoder helpers themselves, above the codec service.

#include <optional>
#include <string>

namespace tallowin::codec {

// The WDP library's decode through a decoder helper: a JPEG XR file to a 24-bit BMP
// at `bmpPath`, transparent pixels laid over white, written beside it and renamed into
// place. True when the BMP was written; nullopt when the decoders run in this process,
// so that the caller decodes as it would without helpers.
std::optional<bool> IsolatedWdpToBmp(const std::string& wdpPath, const std::string& bmpPath);

// Starts decoder helpers now, until `count` are alive, so that they load their libraries
// while the program starts up rather than when the first photos wait for them. Nothing
// when the decoders run in this process.
void StartDecoderHelpers(int count = 1);

// Ends the decoder helpers that sit idle and waits for them, so that a program about to
// exit leaves none behind and the time they spent counts as its own. Nothing when the
// decoders run in this process.
void EndIdleDecoderHelpers();

}  // namespace tallowin::codec
