// tallowin-batch as a process: format names and options that belong to another
// format, readable size errors, the output folder made on demand, no empty run
// folder, the reason a file was not added, the display it does not need, and every
// message naming the program.

#include "test_world.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

struct BatchResult {
    int status = -1;
    std::string out;
    std::string err;
    // The last line of standard output: the run folder.
    fs::path RunFolder() const {
        const std::string text = out.substr(0, out.find_last_not_of('\n') + 1);
        return text.substr(text.rfind('\n') + 1);
    }
};

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> EntriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A BMP header claiming width x height at 24 bits, with no pixel data behind it.
std::string BmpHeader(int32_t width, int32_t height) {
    std::string bytes(54, '\0');
    auto put = [&bytes](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, 54, 4);       // file size (as small as it is)
    put(10, 54, 4);      // pixel offset
    put(14, 40, 4);      // info header size
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);       // planes
    put(28, 24, 2);      // bits per pixel
    return bytes;
}

class BatchOptionsTest : public TestWorld {
protected:
    void SetUp() override {
        TestWorld::SetUp();
        fs::create_directories(Path("src"));
        fs::create_directories(Path("out"));
        png = Path("src/basn2c08.png");  // 32 x 32
        fs::copy_file(DataDir() / "pngsuite/basn2c08.png", png);
    }
    // Runs the tool through bash with empty standard input; `prefix` comes before it
    // on the same command line (variables, "env -u").
    BatchResult Run(const std::string& arguments, const std::string& prefix = {}) {
        const std::string command = prefix + " " + Tool() + " " + arguments + " </dev/null >" +
                                    Quoted("batch-stdout.txt") + " 2>" + Quoted("batch-stderr.txt");
        const int raw = std::system(("bash -c " + ShellQuote(command)).c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(Path("batch-stdout.txt")),
                ReadFile(Path("batch-stderr.txt"))};
    }
    std::string Tool() const { return ShellQuote((BinDir() / "tallowin-batch").string()); }
    std::string Quoted(const std::string& relative) const { return ShellQuote(Path(relative).string()); }
    std::string Out() const { return ShellQuote(Path("out").string()); }
    std::string Png() const { return ShellQuote(png.string()); }

    fs::path png;
};

TEST_F(BatchOptionsTest, OtherFormatNamesAreAcceptedAndOptionsOfAnotherFormatAreRefused) {
    const BatchResult jpeg = Run("-f jpeg --quality 80 --width 16 -q -o " + Out() + " " + Png());
    ASSERT_EQ(jpeg.status, 0) << jpeg.err;
    EXPECT_EQ(EntriesOf(jpeg.RunFolder()), std::vector<std::string>{"basn2c08.jpg"});
    fs::remove_all(jpeg.RunFolder());
    const BatchResult tiff = Run("-f tiff --width 16 -q -o " + Out() + " " + Png());
    ASSERT_EQ(tiff.status, 0) << tiff.err;
    EXPECT_EQ(EntriesOf(tiff.RunFolder()), std::vector<std::string>{"basn2c08.tif"});
    fs::remove_all(tiff.RunFolder());

    struct Case {
        const char* options;
        const char* message;
    };
    const Case refused[] = {
        {"-f jpg --bits 8", "tallowin-batch: --bits applies to -f bmp only"},
        {"--bits 24", "tallowin-batch: --bits applies to -f bmp only"},  // the default format is jpg
        {"-f png --quality 90", "tallowin-batch: --quality applies to -f jpg, webp, avif or jxl only"},
        {"--wdp-quality 50", "tallowin-batch: --wdp-quality applies to -f wdp only"},
        {"-f webp --bits 8", "tallowin-batch: --bits applies to -f bmp only"},
        {"-f jxl --wdp-quality 50", "tallowin-batch: --wdp-quality applies to -f wdp only"},
        {"-f avif --quality 0", "tallowin-batch: --quality: Value 0 not in range 1 to 100"},
        {"-f webp --quality 101", "tallowin-batch: --quality: Value 101 not in range 1 to 100"},
        {"-f jpeg --wdp-quality 50", "tallowin-batch: --wdp-quality applies to -f wdp only"},
    };
    for (const Case& c : refused) {
        const BatchResult r = Run(std::string(c.options) + " -q -o " + Out() + " " + Png());
        EXPECT_EQ(r.status, 2) << c.options;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << c.options << "\n" << r.err;
    }
    // Nothing was converted by the refused runs.
    EXPECT_TRUE(EntriesOf(Path("out")).empty());
}

// -f webp, avif and jxl write their format and --quality reaches each of them: a low
// quality gives a far smaller file than the highest, and webp and jxl at 100 are
// lossless (their reference decoders give back the source's exact pixels).
TEST_F(BatchOptionsTest, NewerFormatsTakeTheQualityOption) {
    // 32 x 32 noise, 24 bits, rows bottom-up: lossy coding cannot keep it exactly.
    std::string bmp = BmpHeader(32, 32);
    std::string pixels(32 * 32 * 3, '\0');
    uint32_t state = 2024;
    for (char& byte : pixels) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    const fs::path noise = WriteFile("src/noise.bmp", bmp + pixels);
    // The same pixels as a PPM: rows top-down, R G B.
    std::string expected = "P6\n32 32\n255\n";
    for (int y = 31; y >= 0; --y) {
        for (int x = 0; x < 32; ++x) {
            const size_t at = (static_cast<size_t>(y) * 32 + static_cast<size_t>(x)) * 3;
            expected += {pixels[at + 2], pixels[at + 1], pixels[at]};
        }
    }
    const struct {
        const char* name;
        const char* decode;  // %s: the output file, %o: the decoded file without its extension
        const char* decodedExtension;
        bool lossless;
    } formats[] = {{"webp", "dwebp %s -ppm -o %o.ppm", ".ppm", true},
                   {"avif", "heif-convert %s %o.png", ".png", false},
                   {"jxl", "djxl %s %o.ppm", ".ppm", true}};
    int run = 0;
    for (const auto& format : formats) {
        uintmax_t sizes[2] = {};
        for (const int quality : {5, 100}) {
            const std::string out = "q" + std::to_string(run++);
            fs::create_directories(Path(out));
            const BatchResult r = Run(std::string("-f ") + format.name + " --quality " + std::to_string(quality) +
                                      " --original-size -q -o " + ShellQuote(Path(out).string()) + " " +
                                      ShellQuote(noise.string()));
            ASSERT_EQ(r.status, 0) << format.name << "\n" << r.err;
            const std::string file = std::string("noise.") + format.name;
            ASSERT_EQ(EntriesOf(r.RunFolder()), std::vector<std::string>{file});
            const fs::path written = r.RunFolder() / file;
            sizes[quality == 100] = fs::file_size(written);

            std::string command = format.decode;
            const std::string decoded = Path(out + "/decoded").string();
            command.replace(command.find("%s"), 2, ShellQuote(written.string()));
            command.replace(command.find("%o"), 2, ShellQuote(decoded));
            ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
            // ImageMagick only turns the decoded file into a plain 8-bit PPM.
            const std::string ppm = Path(out + "/back.ppm").string();
            ASSERT_EQ(std::system(("convert " + ShellQuote(decoded + format.decodedExtension) + " -depth 8 " +
                                   ShellQuote(ppm))
                                      .c_str()),
                      0);
            const std::string back = ReadFile(ppm);
            ASSERT_EQ(back.size(), expected.size()) << format.name;
            EXPECT_EQ(back.rfind("P6\n32 32\n255\n", 0), 0u) << format.name;
            if (quality == 100 && format.lossless) {
                EXPECT_TRUE(back == expected) << format.name << " at 100 is not lossless";
            }
            if (quality == 5) {
                EXPECT_FALSE(back == expected) << format.name << " at 5 is lossless";
            }
        }
        EXPECT_LT(sizes[0] * 2, sizes[1]) << format.name << ": " << sizes[0] << " vs " << sizes[1];
    }
}

TEST_F(BatchOptionsTest, ASizeBelowOnePixelIsExplained) {
    const BatchResult width = Run("--width 0 -o " + Out() + " " + Png());
    EXPECT_EQ(width.status, 2);
    EXPECT_EQ(width.err.rfind("tallowin-batch: --width: expected a number of pixels of at least 1, got 0\n", 0), 0u)
        << width.err;
    const BatchResult height = Run("--height -3 -o " + Out() + " " + Png());
    EXPECT_EQ(height.status, 2);
    EXPECT_EQ(height.err.rfind("tallowin-batch: --height: expected a number of pixels of at least 1, got -3\n", 0),
              0u)
        << height.err;
    // Errors found by the option parser itself name the program too.
    const BatchResult unknown = Run("--no-such-option " + Png());
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("tallowin-batch: ", 0), 0u) << unknown.err;
}

TEST_F(BatchOptionsTest, AMissingOutputFolderIsMadeWithItsParents) {
    const fs::path folder = Path("out/new/deeper");
    const BatchResult r = Run("-f png --width 8 -q -o " + ShellQuote(folder.string()) + " " + Png());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.RunFolder().parent_path().parent_path(), folder);
    EXPECT_EQ(EntriesOf(r.RunFolder()), std::vector<std::string>{"basn2c08.png"});
}

TEST_F(BatchOptionsTest, ARunThatWritesNothingLeavesNoRunFolder) {
    const fs::path text = WriteFile("src/notes.jpg", "these are words, not a picture\n");
    const BatchResult r = Run("-f png -q -o " + Out() + " " + ShellQuote(text.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tallowin-batch: " + text.string() + ": can not be added: not a photo\n");
    EXPECT_TRUE(EntriesOf(Path("out")).empty());
    EXPECT_EQ(r.out, "");
}

TEST_F(BatchOptionsTest, APictureOverTheSizeLimitIsNotCalledNotAPhoto) {
    const fs::path huge = WriteFile("src/huge.bmp", BmpHeader(30000, 30000));
    const BatchResult r = Run("-f png -q -o " + Out() + " " + ShellQuote(huge.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tallowin-batch: " + huge.string() + ": can not be added: the picture is over the size limit\n");
}

TEST_F(BatchOptionsTest, ARenamePrefixLeadingOutOfTheRunFolderIsRefusedBeforeTheRun) {
    for (const std::string prefix : {"../../ESCAPED", "/../../victim/abs"}) {
        const BatchResult r = Run("-f png --width 8 -q --rename " + ShellQuote(prefix) + " -o " + Out() + " " + Png());
        EXPECT_EQ(r.status, 2) << prefix;
        EXPECT_EQ(r.err.rfind("tallowin-batch: --rename: The rename prefix \"" + prefix + "\" contains \"/\"", 0), 0u)
            << r.err;
        EXPECT_TRUE(EntriesOf(Path("out")).empty()) << prefix;
    }
    EXPECT_EQ(EntriesOf(Root()), (std::vector<std::string>{"batch-stderr.txt", "batch-stdout.txt", "config", "home",
                                                           "out", "runtime", "src", "tmp"}));
}

TEST_F(BatchOptionsTest, ARunFolderThatGoesAwayStopsTheRunWithOneMessage) {
    // Two photos of one title: the second asks whether to replace the first one's file.
    // While it waits for the answer the run folder is deleted; then it is told yes.
    fs::create_directories(Path("src/a"));
    fs::create_directories(Path("src/b"));
    std::string inputs;
    for (const char* name : {"a/p.png", "b/p.png", "c.png", "d.png", "e.png"}) {
        fs::copy_file(png, Path(std::string("src/") + name));
        inputs += " " + Quoted(std::string("src/") + name);
    }
    const std::string script =
        "mkfifo " + Quoted("answers") + "; " + Tool() + " -f png --width 8 --overwrite ask -j 1 -o " + Out() + inputs +
        " <" + Quoted("answers") + " >" + Quoted("batch-stdout.txt") + " 2>" + Quoted("batch-stderr.txt") +
        " & tool=$!; exec 3>" + Quoted("answers") + "; for i in $(seq 1200); do grep -q 'replace it' " +
        Quoted("batch-stderr.txt") + " 2>/dev/null && break; sleep 0.05; done; rm -rf " + Out() +
        "/*; echo y >&3; exec 3>&-; wait $tool";
    const int raw = std::system(("bash -c " + ShellQuote(script)).c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    const std::string errors = ReadFile(Path("batch-stderr.txt"));
    EXPECT_EQ(WEXITSTATUS(raw), 1) << errors;
    const std::string gone = "is gone (deleted, or its disk removed); the conversion stopped.\n";
    ASSERT_NE(errors.find(gone), std::string::npos) << errors;
    EXPECT_EQ(errors.find(gone), errors.rfind(gone)) << errors;
    EXPECT_NE(errors.find("b/p.png: Failed to save the file!"), std::string::npos) << errors;
    for (const char* untouched : {"c.png", "d.png", "e.png"}) {
        EXPECT_EQ(errors.find(untouched), std::string::npos) << errors;
    }
    // No run folder is named on standard output: it is gone.
    EXPECT_EQ(ReadFile(Path("batch-stdout.txt")), "");
}

TEST_F(BatchOptionsTest, ADisplayThatDoesNotAnswerIsNotNeeded) {
    const BatchResult r = Run("-f png --width 8 --stamp Hi -q -o " + Out() + " " + Png(),
                              "DISPLAY=:99 WAYLAND_DISPLAY= env -u QT_QPA_PLATFORM");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(EntriesOf(r.RunFolder()), std::vector<std::string>{"basn2c08.png"});
}

TEST_F(BatchOptionsTest, EveryMessageStartsWithTheProgramName) {
    fs::create_directories(Path("src/folder"));
    const fs::path text = WriteFile("src/notes.png", "no picture");
    const BatchResult r = Run("-f png --width 8 -q -o " + Out() + " " + Png() + " " + Quoted("src/missing.png") + " " +
                              Quoted("src/folder") + " " + ShellQuote(text.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
    for (size_t line = 0; line < r.err.size(); line = r.err.find('\n', line) + 1) {
        EXPECT_EQ(r.err.compare(line, 16, "tallowin-batch: "), 0) << r.err.substr(line);
    }
}

}  // namespace
}  // namespace tallowin::test
