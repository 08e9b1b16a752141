#include "integer_text.h"

#include <cctype>
#include <limits>

namespace tallowin {

namespace {

constexpr size_t kPositionTextLimit = 63;

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct Scan {
    bool anyDigits = false;
    bool overflow = false;
    int64_t value = 0;
    size_t end = 0;  // index after the last character used
};

// Blanks, sign and digits from the start of `text`.
Scan ScanInteger(const std::string& text)
{
    Scan scan;
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        scan.anyDigits = true;
        if (scan.value <= kLimit) scan.value = scan.value * 10 + (text[i] - '0');
    }
    if (scan.value > kLimit) {
        scan.overflow = true;
        scan.value = kLimit;
    }
    if (negative) scan.value = -scan.value;
    if (scan.value > std::numeric_limits<int32_t>::max()) {
        scan.overflow = true;
        scan.value = std::numeric_limits<int32_t>::max();
    }
    scan.end = i;
    return scan;
}

}  // namespace

std::optional<int32_t> ParseExchangeInteger(const std::string& text)
{
    const Scan scan = ScanInteger(text);
    if (!scan.anyDigits || scan.overflow) return std::nullopt;
    for (size_t i = scan.end; i < text.size(); ++i)
        if (!IsBlank(text[i])) return std::nullopt;
    return static_cast<int32_t>(scan.value);
}

int32_t LeadingInteger(const std::string& text)
{
    const Scan scan = ScanInteger(text.substr(0, kPositionTextLimit));
    return scan.anyDigits ? static_cast<int32_t>(scan.value) : 0;
}

}  // namespace tallowin
