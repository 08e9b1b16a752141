// tallowin-batch with its decoders in helper processes: a helper killed in the middle
// of a run, or one that hangs past the time limit, fails one photo with the reason, and
// the run converts the rest.

#include "process_list.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

constexpr const char* kStoppedReason = "the decoder stopped: the file may be damaged or hostile";

class BatchHelperTest : public TestWorld {
protected:
    // Three photos: the first is added, then stalls its helper in the pixel decode; the
    // other two are good.
    std::vector<fs::path> Photos() const {
        fs::create_directories(Path("src"));
        fs::create_directories(Path("out"));
        std::string stuck = "BMTALLOWIN-TEST:STALL";
        stuck.resize(64, ' ');
        const fs::path first = WriteFile("src/0-stuck.bmp", stuck);
        const fs::path jpeg = Path("src/1-testorig.jpg");
        const fs::path png = Path("src/2-basn2c08.png");
        fs::copy_file(DataDir() / "libjpeg-turbo" / "testorig.jpg", jpeg);
        fs::copy_file(DataDir() / "pngsuite" / "basn2c08.png", png);
        return {first, jpeg, png};
    }

    // tallowin-batch on `photos` with one test helper and that time limit per decode,
    // its streams in stdout.txt and stderr.txt.
    pid_t StartBatch(const std::vector<fs::path>& photos, int timeoutMs) const {
        const std::string helper = "TALLOWIN_DECODER_HELPER=" + (BinDir() / "tallowin-decoder-test").string();
        const std::string timeout = "TALLOWIN_DECODER_TIMEOUT_MS=" + std::to_string(timeoutMs);
        std::vector<std::string> environment = {helper, "TALLOWIN_DECODER_HELPERS=1", timeout};
        for (char** variable = environ; *variable != nullptr; ++variable) environment.emplace_back(*variable);
        std::vector<char*> envp;
        for (auto& variable : environment) envp.push_back(variable.data());
        envp.push_back(nullptr);
        std::vector<std::string> arguments = {(BinDir() / "tallowin-batch").string(), "-f", "png", "--width", "50",
                                              "-q", "-j", "1", "-o", Path("out").string()};
        for (const auto& photo : photos) arguments.push_back(photo.string());
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, Path("stdout.txt").c_str(), O_WRONLY | O_CREAT,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, Path("stderr.txt").c_str(), O_WRONLY | O_CREAT,
                                         0600);
        pid_t batch = -1;
        const int error = posix_spawn(&batch, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        return error == 0 ? batch : -1;
    }

    // The run ended with some photos failed: the stuck one, for the stopped decoder, and
    // no other; the two good photos were converted.
    void ExpectOnlyTheStuckPhotoFailed(pid_t batch) const {
        int status = 0;
        ASSERT_EQ(waitpid(batch, &status, 0), batch);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);  // some photos failed
        const std::string errors = ReadFile(Path("stderr.txt"));
        EXPECT_NE(errors.find("0-stuck.bmp"), std::string::npos) << errors;
        EXPECT_NE(errors.find(kStoppedReason), std::string::npos) << errors;
        EXPECT_EQ(errors.find("1-testorig"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("2-basn2c08"), std::string::npos) << errors;
        int converted = 0;
        for (const auto& entry : fs::recursive_directory_iterator(Path("out"))) {
            if (entry.is_regular_file() && entry.path().extension() == ".png") ++converted;
        }
        EXPECT_EQ(converted, 2);
    }
};

TEST_F(BatchHelperTest, AKilledHelperFailsOnePhotoAndTheRunCompletes) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t batch = StartBatch(Photos(), 120000);
    ASSERT_GT(batch, 0);

    // The one helper appears and sits on the first photo; kill it as a crash would.
    std::vector<pid_t> helpers;
    while (helpers.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        helpers = ChildrenNamed(batch, "tallowin-decoder-test");
    }
    ASSERT_EQ(helpers.size(), 1u);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(kill(helpers[0], SIGSEGV), 0);

    ExpectOnlyTheStuckPhotoFailed(batch);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(BatchHelperTest, AHangPastTheTimeLimitFailsOnePhotoAndTheRunCompletes) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t batch = StartBatch(Photos(), 2000);
    ASSERT_GT(batch, 0);
    ExpectOnlyTheStuckPhotoFailed(batch);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::seconds(2));  // the stuck photo waited out its limit
}

}  // namespace
}  // namespace tallowin::test
