#include "result_lines.h"

#include <chrono>
#include <cstdint>
#include <ctime>

namespace tallowin::cli {

namespace {

// Length of the well-formed UTF-8 character at `at`, or 0 when the byte there starts none.
size_t Utf8CharLength(std::string_view text, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80;  // the second byte's range, narrowed to rule out overlong
    unsigned char high = 0xBF;  // forms, surrogates and code points beyond U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

std::string UtcNow()
{
    const auto now = std::chrono::system_clock::now();
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(millis));
    return std::string(text, length) + fraction;
}

// ,"key":"text" and, when the text is no UTF-8, ,"key_bytes":"base64".
void AddPathField(std::string& line, const char* key, const std::string& path)
{
    line += ",\"";
    line += key;
    line += "\":" + JsonString(path);
    if (!IsUtf8(path)) {
        line += ",\"";
        line += key;
        line += "_bytes\":\"" + Base64(path) + "\"";
    }
}

}  // namespace

bool IsUtf8(std::string_view text)
{
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8CharLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string JsonString(std::string_view text)
{
    std::string json = "\"";
    json.reserve(text.size() + 2);
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8CharLength(text, at);
        const char c = text[at];
        if (length == 0) {
            json += "\\ufffd";
            ++at;
            continue;
        }
        if (length == 3 && text.substr(at, 2) == "\xE2\x80" && (text[at + 2] == '\xA8' || text[at + 2] == '\xA9')) {
            json += text[at + 2] == '\xA8' ? "\\u2028" : "\\u2029";
        } else if (c == '"') {
            json += "\\\"";
        } else if (c == '\\') {
            json += "\\\\";
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\r') {
            json += "\\r";
        } else if (c == '\t') {
            json += "\\t";
        } else if (c == '\b') {
            json += "\\b";
        } else if (c == '\f') {
            json += "\\f";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            json += escaped;
        } else {
            json.append(text.substr(at, length));
        }
        at += length;
    }
    return json + "\"";
}

std::string Base64(std::string_view bytes)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t count = std::min<size_t>(3, bytes.size() - at);
        uint32_t group = 0;
        for (size_t i = 0; i < 3; ++i) {
            group = (group << 8) | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        }
        for (size_t i = 0; i < 4; ++i) {
            text += i <= count ? kDigits[(group >> (18 - 6 * i)) & 0x3F] : '=';
        }
    }
    return text;
}

std::string PhotoResultLine(const PhotoResult& result)
{
    std::string line = "{";
    AddPathField(line, "source", result.source);
    line.erase(1, 1);  // the comma before the first field
    if (result.output) {
        AddPathField(line, "output", *result.output);
    } else {
        line += ",\"output\":null";
    }
    line += ",\"outcome\":" + JsonString(result.outcome);
    line += ",\"reason\":" + JsonString(result.reason);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", result.seconds < 0 ? 0.0 : result.seconds);
    line += ",\"time\":";
    line += seconds;
    line += ",\"finished\":\"" + UtcNow() + "\"}";
    return line;
}

size_t ResultLines::Reserve()
{
    std::lock_guard lock(mutex_);
    lines_.emplace_back();
    return lines_.size() - 1;
}

void ResultLines::Fill(size_t slot, const PhotoResult& result)
{
    std::string line = PhotoResultLine(result);
    std::lock_guard lock(mutex_);
    if (slot >= lines_.size() || lines_[slot]) return;
    lines_[slot] = std::move(line);
    if (result.outcome == "converted") {
        ++converted_;
    } else if (result.outcome == "converted in part") {
        ++inPart_;
    } else if (result.outcome == "skipped") {
        ++skipped_;
    } else if (result.outcome == "not added") {
        ++notAdded_;
    } else {
        ++failed_;
    }
    PrintReadyLocked();
}

bool ResultLines::Filled(size_t slot) const
{
    std::lock_guard lock(mutex_);
    return slot < lines_.size() && lines_[slot].has_value();
}

void ResultLines::PrintReadyLocked()
{
    bool any = false;
    while (printed_ < lines_.size() && lines_[printed_]) {
        std::fputs(lines_[printed_]->c_str(), out_);
        std::fputc('\n', out_);
        lines_[printed_].emplace();  // printed: keep the place filled, drop the text
        ++printed_;
        any = true;
    }
    if (any) std::fflush(out_);
}

void ResultLines::Finish(const std::optional<std::string>& runFolder)
{
    std::lock_guard lock(mutex_);
    PrintReadyLocked();
    std::string line = "{";
    if (runFolder) {
        AddPathField(line, "run_folder", *runFolder);
        line.erase(1, 1);
    } else {
        line += "\"run_folder\":null";
    }
    line += ",\"converted\":" + std::to_string(converted_) + ",\"converted_in_part\":" + std::to_string(inPart_) +
        ",\"failed\":" + std::to_string(failed_) + ",\"skipped\":" + std::to_string(skipped_) +
        ",\"not_added\":" + std::to_string(notAdded_) + "}";
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

}  // namespace tallowin::cli
