// tallowin-batch and the files it writes: a file size limit just under the size of
// the output, titles as long as a name may be, and staged files left by a run that
// was killed.

#include "test_world.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

struct Outcome {
    int status = -1;
    std::string err;
    fs::path runFolder;  // the last line of standard output
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Every entry of a folder, hidden ones included.
std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every file below a folder, hidden ones included (a run that converted nothing may
// leave its run folder or not).
std::vector<std::string> FilesBelow(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_directory()) names.push_back(it->path().lexically_relative(folder).string());
    }
    return names;
}

// Output formats with the extension of their files.
struct Format {
    const char* options;
    const char* extension;
};
constexpr Format kFormats[] = {
    {"-f bmp --bits 1", ".bmp"}, {"-f bmp --bits 4", ".bmp"},          {"-f bmp --bits 8", ".bmp"},
    {"-f bmp", ".bmp"},          {"-f jpg --quality 100", ".jpg"},     {"-f png", ".png"},
    {"-f tif", ".tif"},          {"-f gif", ".gif"},                   {"-f wdp --wdp-quality 100", ".wdp"},
    {"-f webp", ".webp"},        {"-f avif --quality 90", ".avif"},    {"-f jxl --quality 100", ".jxl"},
};

class BatchOutputFilesTest : public TestWorld {
protected:
    // A new output folder for one run (two runs in one second would share a run folder).
    std::string NewOutput(const std::string& name) {
        fs::create_directories(Path(name));
        return Quoted(Path(name).string());
    }

    // Runs the tool; `prefix` runs before it in the same shell (a ulimit).
    Outcome Run(const std::string& arguments, const std::string& prefix = {}) {
        const fs::path out = Path("stdout.txt");
        const fs::path err = Path("stderr.txt");
        const std::string command = prefix + " " + Quoted((BinDir() / "tallowin-batch").string()) + " " + arguments +
                                    " </dev/null >" + Quoted(out.string()) + " 2>" + Quoted(err.string());
        const int raw = std::system(("bash -c " + Quoted(command)).c_str());
        Outcome r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.err = ReadFile(err);
        std::string text = ReadFile(out);
        while (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t newline = text.rfind('\n');
        r.runFolder = newline == std::string::npos ? fs::path(text) : fs::path(text.substr(newline + 1));
        return r;
    }

    // A 24-bit BMP of noise: no encoder can make it much smaller, so each output is
    // larger than the temporary files written before it (except the 24-bit BMP that
    // indexed BMP outputs start from).
    fs::path NoiseBmp(const std::string& name, int32_t width, int32_t height) {
        const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
        const uint32_t imageSize = stride * static_cast<uint32_t>(height);
        std::string bytes(54 + imageSize, '\0');
        const auto put = [&](size_t at, uint32_t value, int size) {
            for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
        };
        bytes[0] = 'B';
        bytes[1] = 'M';
        put(2, static_cast<uint32_t>(bytes.size()), 4);
        put(10, 54, 4);
        put(14, 40, 4);
        put(18, static_cast<uint32_t>(width), 4);
        put(22, static_cast<uint32_t>(height), 4);
        put(26, 1, 2);
        put(28, 24, 2);
        put(34, imageSize, 4);
        uint32_t state = 12345;
        for (size_t i = 54; i < bytes.size(); ++i) {
            state = state * 1103515245u + 12345u;
            bytes[i] = static_cast<char>(state >> 24);
        }
        return WriteFile("src/" + name, bytes);
    }
};

TEST_F(BatchOutputFilesTest, AFileSizeLimitJustUnderTheOutputSizeFailsEveryFormat) {
    const fs::path noise = NoiseBmp("noise.bmp", 200, 150);
    int run = 0;
    for (const Format& format : kFormats) {
        const std::string common = std::string(format.options) + " --original-size -q -j 1 -o ";
        const std::string fullOut = NewOutput("full" + std::to_string(run));
        const Outcome full = Run(common + fullOut + " " + Quoted(noise.string()));
        ASSERT_EQ(full.status, 0) << format.options << "\n" << full.err;
        const uintmax_t size = fs::file_size(full.runFolder / (std::string("noise") + format.extension));
        ASSERT_GT(size, 2048u) << format.options;

        // ulimit -f counts 1024-byte blocks: the largest limit below the full size, and
        // one a few blocks lower (libjxr once went on after such a failed write).
        for (const uintmax_t fewer : {0u, 3u}) {
            const uintmax_t blocks = (size - 1) / 1024 - fewer;
            const std::string cutName = "cut" + std::to_string(run) + "-" + std::to_string(fewer);
            const Outcome cut = Run(common + NewOutput(cutName) + " " + Quoted(noise.string()),
                                    "ulimit -f " + std::to_string(blocks) + ";");
            const std::string context = std::string(format.options) + ", " + std::to_string(size) + " bytes, " +
                                        std::to_string(blocks) + " blocks\n" + cut.err;
            EXPECT_EQ(cut.status, 1) << context;
            EXPECT_NE(cut.err.find(noise.string() + ":"), std::string::npos) << context;
            EXPECT_TRUE(FilesBelow(Path(cutName)).empty()) << context << testing::PrintToString(FilesBelow(Path(cutName)));
        }
        ++run;
    }
}

TEST_F(BatchOutputFilesTest, ATitleOfTwoHundredAndFiftyBytesWorksForEveryFormat) {
    const std::string title(250, 't');
    const fs::path source = NoiseBmp(title + ".bmp", 40, 30);
    int run = 0;
    for (const Format& format : kFormats) {
        const Outcome r = Run(std::string(format.options) + " --original-size -q -o " +
                              NewOutput("out" + std::to_string(run++)) + " " + Quoted(source.string()));
        EXPECT_EQ(r.status, 0) << format.options << "\n" << r.err;
        EXPECT_EQ(Entries(r.runFolder), std::vector<std::string>{title + format.extension}) << format.options;
    }
}

TEST_F(BatchOutputFilesTest, StagedFilesOfAKilledRunAreRemovedByTheNextRun) {
    // A process id that no longer runs: a child that has ended and been reaped.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    const std::string dead = ".photo." + std::to_string(child) + "-0.part.png";
    const std::string live = ".photo." + std::to_string(getpid()) + "-1.part.png";
    const fs::path oldRun = Path("out/2020.01.02.03.04.05");
    for (const std::string& name : {dead, live, std::string("photo.png")}) WriteFile("out/2020.01.02.03.04.05/" + name, "x");

    const fs::path source = NoiseBmp("small.bmp", 8, 8);
    const Outcome r = Run("-f png --original-size -q -o " + Quoted(Path("out").string()) + " " + Quoted(source.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Entries(oldRun), (std::vector<std::string>{live, "photo.png"}));
    EXPECT_EQ(Entries(r.runFolder), std::vector<std::string>{"small.png"});
}

}  // namespace
}  // namespace tallowin::test
