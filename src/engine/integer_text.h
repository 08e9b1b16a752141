#pragma once
// Integers typed into edit boxes.

#include <cstdint>
#include <optional>
#include <string>

namespace tallowin {

// The box's text as a whole integer, the way the window's data exchange takes it:
// optional blanks, an optional sign, digits, optional blanks, within 32 bits. Nothing
// for any other text (the exchange then says "Enter an integer.").
std::optional<int32_t> ParseExchangeInteger(const std::string& text);

// The leading integer of a text, as the stamp position is read: optional blanks and
// sign, then digits; 0 when there are none. Only the first 63 characters count, and a
// number beyond 32 bits saturates.
int32_t LeadingInteger(const std::string& text);

}  // namespace tallowin
