// Checked writes under a file size limit, capped whole-file reads and the DIB header
// reader.

#include "dib_header.h"
#include "file_writer.h"
#include "le_bytes.h"
#include "test_world.h"
#include "whole_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <vector>

namespace tallowin::test {
namespace {

using plumbing::FileWriter;

// Runs `body` in a child whose files may not grow beyond `limit` bytes (a write past
// it fails with EFBIG instead of ending the process) and returns its exit status.
int InChildWithSizeLimit(rlim_t limit, const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FileIoTest : public TestWorld {};

TEST_F(FileIoTest, EveryWritePastTheSizeLimitFailsTheFile) {
    const std::string path = Path("out.bin").string();
    const std::vector<uint8_t> bytes(50'000, 0x5A);
    // Small pieces that only the final flush writes, one large piece, and a seek back
    // to patch a header: each must report the cut file.
    const auto small = [&] {
        FileWriter writer(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        for (size_t at = 0; at < bytes.size(); at += 100) writer.Write(bytes.data() + at, 100);
        return !writer.Finish() && writer.Error() == EFBIG ? 0 : 1;
    };
    const auto patched = [&] {
        FileWriter writer(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        writer.Write(bytes.data(), bytes.size());
        writer.Seek(4);
        writer.Write(bytes.data(), 4);
        return writer.Finish() ? 1 : 0;
    };
    const auto stream = [&] {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size() - 10, file);
        return plumbing::CloseStream(file) ? 1 : 0;
    };
    for (const std::function<int()>& body : {std::function<int()>(small), std::function<int()>(patched), std::function<int()>(stream)}) {
        EXPECT_EQ(InChildWithSizeLimit(bytes.size() - 1000, body), 0);
    }
    // Within the limit the same writes succeed, the patch where it belongs.
    EXPECT_EQ(InChildWithSizeLimit(bytes.size(), [&] {
                  FileWriter writer(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
                  writer.Write(bytes.data(), bytes.size());
                  writer.Seek(4);
                  const uint8_t patch[2] = {1, 2};
                  writer.Write(patch, 2);
                  return writer.Position() == 6 && writer.Finish() ? 0 : 1;
              }),
              0);
    const std::string written = ReadFile(path);
    ASSERT_EQ(written.size(), bytes.size());
    EXPECT_EQ(written[4], 1);
    EXPECT_EQ(written[5], 2);
    EXPECT_EQ(written[6], 0x5A);
    EXPECT_FALSE(FileWriter(-1).Finish());
}

TEST_F(FileIoTest, WholeFileReadsAreCappedAndTakeRegularFilesOnly) {
    const std::string path = WriteFile("data.bin", std::string(1000, 'a')).string();
    std::vector<uint8_t> bytes;
    EXPECT_EQ(plumbing::ReadWholeFile(path, 1000, bytes), plumbing::ReadFileResult::Ok);
    EXPECT_EQ(bytes.size(), 1000u);
    EXPECT_EQ(plumbing::ReadWholeFile(path, 999, bytes), plumbing::ReadFileResult::TooLarge);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(plumbing::ReadFilePrefix(path, 10, bytes), plumbing::ReadFileResult::Ok);
    EXPECT_EQ(bytes.size(), 10u);
    EXPECT_EQ(plumbing::ReadWholeFile(Path("missing").string(), 10, bytes), plumbing::ReadFileResult::OpenFailed);
    // A FIFO where a file was expected is refused at once, not waited on.
    const std::string fifo = Path("fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(plumbing::ReadWholeFile(fifo, 10, bytes), plumbing::ReadFileResult::OpenFailed);
    EXPECT_EQ(plumbing::ReadFilePrefix(fifo, 10, bytes), plumbing::ReadFileResult::OpenFailed);
    EXPECT_EQ(plumbing::ReadWholeFile(Root().string(), 10, bytes), plumbing::ReadFileResult::OpenFailed);
}

TEST(DibHeader, FieldsBeyondAShortHeaderAreNeverRead) {
    using plumbing::DibHeaderRead;
    using plumbing::DibInfoHeader;
    // A 16-byte OS/2 header followed by bytes that must not be taken for its fields.
    std::vector<uint8_t> bytes(64, 0xEE);
    plumbing::PutLe32(bytes.data(), 16);
    plumbing::PutLe32(bytes.data() + 4, 7);
    plumbing::PutLe32(bytes.data() + 8, static_cast<uint32_t>(-5));
    plumbing::PutLe16(bytes.data() + 12, 1);
    plumbing::PutLe16(bytes.data() + 14, 8);
    DibInfoHeader h;
    ASSERT_EQ(plumbing::ReadDibInfoHeader(bytes.data(), 16, h), DibHeaderRead::Ok);
    EXPECT_EQ(h.width, 7);
    EXPECT_EQ(h.height, -5);
    EXPECT_EQ(h.bitCount, 8);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.clrUsed, 0u);
    EXPECT_FALSE(h.masksInHeader);
    EXPECT_EQ(plumbing::ReadDibInfoHeader(bytes.data(), 15, h), DibHeaderRead::TooShort);

    // A core header: 16-bit unsigned sizes.
    plumbing::PutLe32(bytes.data(), 12);
    plumbing::PutLe16(bytes.data() + 4, 40000);
    plumbing::PutLe16(bytes.data() + 6, 3);
    plumbing::PutLe16(bytes.data() + 10, 24);
    ASSERT_EQ(plumbing::ReadDibInfoHeader(bytes.data(), 12, h), DibHeaderRead::Ok);
    EXPECT_TRUE(h.core);
    EXPECT_EQ(h.width, 40000);
    EXPECT_EQ(h.bitCount, 24);

    // A V5 header: only its first 56 bytes are needed; all four masks are read.
    plumbing::PutLe32(bytes.data(), plumbing::kDibV5HeaderSize);
    for (int i = 0; i < 4; ++i) plumbing::PutLe32(bytes.data() + 40 + 4 * i, 0xFFu << (8 * i));
    ASSERT_EQ(plumbing::ReadDibInfoHeader(bytes.data(), 56, h), DibHeaderRead::Ok);
    EXPECT_TRUE(h.alphaMaskInHeader);
    EXPECT_EQ(h.masks[0], 0xFFu);
    EXPECT_EQ(h.masks[3], 0xFF000000u);
    EXPECT_EQ(plumbing::ReadDibInfoHeader(bytes.data(), 55, h), DibHeaderRead::TooShort);
    for (const uint32_t size : {0u, 4u, 11u, 13u, 15u}) {
        plumbing::PutLe32(bytes.data(), size);
        EXPECT_EQ(plumbing::ReadDibInfoHeader(bytes.data(), bytes.size(), h), DibHeaderRead::UnknownSize) << size;
    }
}

}  // namespace
}  // namespace tallowin::test
