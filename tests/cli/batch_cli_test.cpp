// tallowin-batch as a process: options, outputs read back by independent decoders,
// exit statuses, failure lines, and hostile destinations (a file where the output
// folder should be, a file size limit) that must leave no partial files.

#include "cli_test_support.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

std::string Quote(const std::string& text) { return "'" + text + "'"; }

class BatchCliTest : public TestWorld {
protected:
    void SetUp() override {
        TestWorld::SetUp();
        fs::create_directories(Path("src"));
        fs::create_directories(Path("out"));
        jpeg = Copy("libjpeg-turbo/testorig.jpg");  // 227 x 149
        png = Copy("pngsuite/basn2c08.png");        // 32 x 32
    }
    fs::path Copy(const std::string& relative, const std::string& name = {}) {
        const fs::path from = DataDir() / relative;
        const fs::path to = Path("src") / (name.empty() ? from.filename().string() : name);
        fs::create_directories(to.parent_path());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to;
    }
    // Runs the tool with `arguments` (already quoted), standard input empty; `prefix`
    // runs before it in the same shell (for example a ulimit).
    Result Run(const std::string& arguments, const std::string& prefix = {}) {
        const fs::path out = Path("stdout.txt");
        const fs::path err = Path("stderr.txt");
        const std::string command = prefix + " " + Quote((BinDir() / "tallowin-batch").string()) + " " + arguments +
                                    " </dev/null >" + Quote(out.string()) + " 2>" + Quote(err.string());
        const int raw = std::system(("bash -c " + Quote(command)).c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(out);
        r.err = ReadFile(err);
        return r;
    }
    std::string Out() const { return Quote(Path("out").string()); }

    fs::path jpeg;
    fs::path png;
};

TEST_F(BatchCliTest, EveryFormatAndDepthReadsBack) {
    struct Case {
        const char* options;
        const char* file;
        const char* expected;
    };
    const Case cases[] = {
        {"-f jpg --quality 90", "testorig.jpg", "JPEG 100 65 8"},
        {"-f png", "testorig.png", "PNG 100 65 8"},
        {"-f tif", "testorig.tif", "TIFF 100 65 8"},
        {"-f gif", "testorig.gif", "GIF 100 65 8"},
        {"-f bmp", "testorig.bmp", "BMP3 100 65 8"},
    };
    for (const Case& c : cases) {
        const Result r = Run(std::string(c.options) + " --width 100 -q -o " + Out() + " " + Quote(jpeg.string()));
        ASSERT_EQ(r.status, 0) << c.options << "\n" << r.err;
        EXPECT_EQ(Identify(r.RunFolder() / c.file, "%m %w %h %z"), c.expected) << c.options;
        fs::remove_all(r.RunFolder());
    }
    for (const int bits : {1, 4, 8}) {
        const Result r = Run("-f bmp --bits " + std::to_string(bits) + " --size 40x30 -q -o " + Out() + " " +
                             Quote(jpeg.string()));
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string bytes = ReadFile(r.RunFolder() / "testorig.bmp");
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(static_cast<uint8_t>(bytes[28]), bits);
        EXPECT_EQ(Identify(r.RunFolder() / "testorig.bmp"), "BMP3 40 30");
        fs::remove_all(r.RunFolder());
    }
}

TEST_F(BatchCliTest, DefaultIsJpegEightyFiveAThousandAndTwentyFourWide) {
    const Result r = Run("-q -o " + Out() + " " + Quote(png.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Identify(r.RunFolder() / "basn2c08.jpg", "%m %w %h %Q"), "JPEG 1024 1024 85");
    // The run folder is named after the moment and sits in the output folder.
    EXPECT_EQ(r.RunFolder().parent_path().parent_path(), Path("out"));
    EXPECT_EQ(r.RunFolder().parent_path().filename().string().size(), std::string("2024.03.07.14.05.09").size());
}

TEST_F(BatchCliTest, AWdpPhotoKeepsItsTitle) {
    const fs::path wdp = Copy("generated/wdp/rgb24_q90.wdp");
    const Result r = Run("-f png --width 50 -q -o " + Out() + " " + Quote(wdp.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FilesIn(r.RunFolder()), std::vector<std::string>{"rgb24_q90.png"});
    EXPECT_EQ(Identify(r.RunFolder() / "rgb24_q90.png", "%m %w"), "PNG 50");
}

TEST_F(BatchCliTest, RenameRotateFlipAndParallelJobs) {
    std::string inputs;
    for (int i = 0; i < 10; ++i) {
        inputs += " " + Quote(Copy("pngsuite/basn2c08.png", "p" + std::to_string(i) + ".png").string());
    }
    const Result r = Run("-f png --size 20x10 --rotate 90 --flip horizontal --rename Trip -j 3 -q -o " + Out() +
                         inputs);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto files = FilesIn(r.RunFolder());
    ASSERT_EQ(files.size(), 10u);
    EXPECT_EQ(files.front().substr(0, 8), "Trip.01.");
    EXPECT_EQ(files.back().substr(0, 8), "Trip.10.");
    EXPECT_EQ(Identify(r.RunFolder() / files.front()), "PNG 10 20");
}

TEST_F(BatchCliTest, FailuresAreNamedAndGiveStatusOne) {
    const fs::path missing = Path("src/missing.jpg");
    const Result r = Run("-f png -q -o " + Out() + " " + Quote(jpeg.string()) + " " + Quote(missing.string()) + " " +
                         Quote(Path("src").string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(missing.string() + ":"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--recursive"), std::string::npos) << r.err;
    EXPECT_EQ(FilesIn(r.RunFolder()), std::vector<std::string>{"testorig.png"});

    // With --recursive the folder's photos are found and converted. (Another output
    // folder: a run in the same second would share the first run's folder.)
    fs::create_directories(Path("out2"));
    const Result again = Run("-r -f png -q -o " + Quote(Path("out2").string()) + " " + Quote(Path("src").string()));
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(FilesIn(again.RunFolder()), (std::vector<std::string>{"basn2c08.png", "testorig.png"}));
}

TEST_F(BatchCliTest, TheSameNameTwiceFollowsTheOverwritePolicy) {
    const fs::path second = Copy("pngsuite/basn2c08.png", "again/testorig.png");
    const std::string inputs = " " + Quote(jpeg.string()) + " " + Quote(second.string());

    const Result never = Run("-f png -q --overwrite never -o " + Out() + inputs);
    EXPECT_EQ(never.status, 1);
    EXPECT_NE(never.err.find("exists. Do you want to replace it?"), std::string::npos) << never.err;
    EXPECT_EQ(Identify(never.RunFolder() / "testorig.png"), "PNG 1024 672");  // the first photo's

    const Result always = Run("-f png -q --overwrite always -j 2 -o " + Out() + inputs);
    EXPECT_EQ(always.status, 0) << always.err;
    EXPECT_EQ(Identify(always.RunFolder() / "testorig.png"), "PNG 1024 1024");  // the second photo's
}

TEST_F(BatchCliTest, APhotoConvertedInPartHasAStatusOfItsOwn) {
    const fs::path cut = Copy("generated/jpeg/bad/trunc_50pct_baseline.jpg");
    const Result r = Run("-f png --width 64 -q -o " + Out() + " " + Quote(cut.string()) + " " + Quote(png.string()));
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find(cut.string() + " Converted in part: "), std::string::npos) << r.err;
    EXPECT_EQ(FilesIn(r.RunFolder()), (std::vector<std::string>{"basn2c08.png", "trunc_50pct_baseline.png"}));

    // A photo that fails outweighs one converted in part.
    fs::create_directories(Path("out2"));
    const Result worse = Run("-f png --width 64 -q -o " + Quote(Path("out2").string()) + " " + Quote(cut.string()) +
                             " " + Quote(Path("src/missing.jpg").string()));
    EXPECT_EQ(worse.status, 1) << worse.err;
    EXPECT_NE(Run("--help").out.find("3 all converted but some only in part"), std::string::npos);
}

TEST_F(BatchCliTest, AFailedPhotoSaysWhy) {
    std::string bytes = ReadFile(png);
    const size_t data = bytes.find("IDAT");
    ASSERT_NE(data, std::string::npos);
    for (size_t i = data + 10; i < data + 60; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    const fs::path broken = WriteFile("src/broken.png", bytes);
    const Result r = Run("-f png --width 20 -q -o " + Out() + " " + Quote(broken.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(broken.string() + ": Failed to convert photo! (damaged)"), std::string::npos) << r.err;
}

TEST_F(BatchCliTest, BadUsageGivesStatusTwo) {
    EXPECT_EQ(Run("").status, 2);
    EXPECT_EQ(Run("-f heic " + Quote(jpeg.string())).status, 2);
    EXPECT_EQ(Run("--rotate 45 " + Quote(jpeg.string())).status, 2);
    EXPECT_EQ(Run("--size 10 " + Quote(jpeg.string())).status, 2);
    EXPECT_EQ(Run("--width 10 --height 10 " + Quote(jpeg.string())).status, 2);
    EXPECT_EQ(Run("--colour red " + Quote(jpeg.string())).status, 2);
    const Result help = Run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--overwrite"), std::string::npos);
}

TEST_F(BatchCliTest, AnOutputFolderThatCannotBeWrittenIsReported) {
    WriteFile("blocked", "a file where the output folder should be");
    const Result r = Run("-f png -q -o " + Quote(Path("blocked").string()) + " " + Quote(jpeg.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Can not create the directory"), std::string::npos) << r.err;
}

TEST_F(BatchCliTest, AFullDiskLeavesNoPartialFilesAndReportsEachPhoto) {
    // Files of the run may not grow beyond 8 KiB: every 1024-pixel output is larger.
    const std::string inputs = " " + Quote(jpeg.string()) + " " + Quote(png.string());
    for (const char* format : {"bmp", "bmp --bits 8", "png", "tif", "wdp", "gif"}) {
        const Result r = Run(std::string("-f ") + format + " -q -j 1 -o " + Out() + inputs, "ulimit -f 8;");
        EXPECT_EQ(r.status, 1) << format << "\n" << r.err;
        EXPECT_NE(r.err.find(jpeg.string() + ":"), std::string::npos) << format << "\n" << r.err;
        EXPECT_NE(r.err.find(png.string() + ":"), std::string::npos) << format << "\n" << r.err;
        EXPECT_TRUE(FilesIn(r.RunFolder()).empty()) << format;
        fs::remove_all(r.RunFolder());
    }
}

TEST_F(BatchCliTest, TheStampIsDrawn) {
    const Result plain = Run("-f bmp --original-size -q -o " + Out() + " " + Quote(png.string()));
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::string before = ReadFile(plain.RunFolder() / "basn2c08.bmp");
    fs::remove_all(plain.RunFolder());
    const Result stamped = Run("-f bmp --original-size --stamp Hi --stamp-pos 2,2 --font Sans:20 --colour ff0000 -q -o " +
                               Out() + " " + Quote(png.string()));
    ASSERT_EQ(stamped.status, 0) << stamped.err;
    const std::string after = ReadFile(stamped.RunFolder() / "basn2c08.bmp");
    ASSERT_EQ(before.size(), after.size());
    EXPECT_NE(before, after);
}

}  // namespace
}  // namespace tallowin::test
