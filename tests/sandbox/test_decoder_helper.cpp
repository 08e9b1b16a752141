// tallowin-decoder-test: the decoder helper with misbehaving decoders in front of the
// real ones. A file holding "TALLOWIN-TEST:<WORD>" in its first 64 bytes (after "BM",
// so that it sniffs as a bitmap) is handled by the word:
//   CRASH   writes through a null pointer
//   HANG    never returns (sleeps)
//   STALL   reads its header as a 1 x 1 picture, then hangs in the pixel decode
//   HOG     allocates and touches memory until an allocation fails (2 GiB at most)
//   OPEN    tries to read /etc/passwd; the decode succeeds with the outcome as warning
//   WRITE   tries to create a file beside the test's TMPDIR; outcome as warning
//   SOCKET  opens a network socket
//   EXEC    starts /bin/true
//   FORK    forks
// Every other file goes to the real decoders.
#include "decoder_helper.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

using tallowin::codec::DecodeStatus;

std::string TestWord(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    char head[65] = {};
    const size_t got = std::fread(head, 1, 64, file);
    std::fclose(file);
    const std::string text(head, got);
    const std::string marker = "TALLOWIN-TEST:";
    const size_t at = text.find(marker);
    if (at == std::string::npos) return {};
    std::string word;
    for (size_t i = at + marker.size(); i < text.size() && text[i] >= 'A' && text[i] <= 'Z'; ++i) word += text[i];
    return word;
}

std::string Outcome(const char* what, int result) {
    return std::string(what) + ": " + (result >= 0 ? "opened" : std::strerror(errno));
}

// Misbehaves as the word says; false when the file is not a test file. `warning`
// carries the outcome of the attempts that return.
bool Misbehave(const std::string& path, bool header, std::string& warning) {
    const std::string word = TestWord(path);
    if (word.empty()) return false;
    if (word == "STALL" && header) return true;
    if (word == "CRASH") {
        volatile int* nothing = nullptr;
        *nothing = 1;
    } else if (word == "HANG" || word == "STALL") {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    } else if (word == "HOG") {
        constexpr size_t kChunk = 32u << 20;
        std::vector<void*> chunks;
        while (chunks.size() * kChunk < (2ull << 30)) {
            void* chunk = std::malloc(kChunk);
            if (chunk == nullptr) break;
            std::memset(chunk, 0x5A, kChunk);
            chunks.push_back(chunk);
        }
        const bool stopped = chunks.size() * kChunk < (2ull << 30);
        for (void* chunk : chunks) std::free(chunk);
        warning = stopped ? "allocation failed" : "allocated 2 GiB";
        if (stopped) throw std::bad_alloc();
    } else if (word == "OPEN") {
        const int fd = open("/etc/passwd", O_RDONLY | O_CLOEXEC);
        warning = Outcome("open /etc/passwd", fd);
        FILE* stream = std::fopen("/etc/passwd", "r");
        warning += "; " + Outcome("fopen /etc/passwd", stream != nullptr ? 0 : -1);
    } else if (word == "WRITE") {
        const char* folder = std::getenv("TMPDIR");
        const std::string target = std::string(folder != nullptr ? folder : "/tmp") + "/written-by-helper";
        const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        warning = Outcome("create", fd);
    } else if (word == "SOCKET") {
        warning = Outcome("socket", socket(AF_INET, SOCK_STREAM, 0));
    } else if (word == "EXEC") {
        char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
        execv("/bin/true", argv);
        warning = Outcome("exec", -1);
    } else if (word == "FORK") {
        const pid_t child = fork();
        if (child == 0) _exit(0);
        warning = Outcome("fork", child);
    }
    return true;
}

DecodeStatus TestReadHeader(const tallowin::codec::Decoder& format, const std::string& path,
                            const tallowin::codec::DecodeLimits& limits, tallowin::codec::ImageInfo& info) {
    std::string warning;
    if (!Misbehave(path, true, warning)) return tallowin::codec::ReadHeader(format, path, limits, info);
    info = tallowin::codec::ImageInfo{};
    info.width = 1;
    info.height = 1;
    return DecodeStatus::Ok;
}

DecodeStatus TestDecodePixels(const tallowin::codec::Decoder& format, const std::string& path,
                              const tallowin::codec::DecodeRequest& request,
                              const tallowin::codec::DecodeLimits& limits, tallowin::codec::Raster& out,
                              std::string& warning) {
    warning.clear();
    if (!Misbehave(path, false, warning)) return tallowin::codec::DecodePixels(format, path, request, limits, out, warning);
    out.width = 1;
    out.height = 1;
    out.pixels.assign(4, 0xFF);
    return DecodeStatus::Partial;
}

}  // namespace

int main(int argc, char** argv) {
    tallowin::sandbox::DecoderEntry entry = tallowin::sandbox::LibraryDecoders();
    entry.readHeader = &TestReadHeader;
    entry.decodePixels = &TestDecodePixels;
    return tallowin::sandbox::RunDecoderHelper(argc, argv, entry);
}
