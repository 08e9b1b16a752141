// tallowin-batch as a process: the --overwrite answers (the policies and the five
// answers typed on standard input) and the size rules --long-edge, --fit and
// --shrink-only.

#include "cli_test_support.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

class BatchRulesTest : public TestWorld {
protected:
    void SetUp() override {
        TestWorld::SetUp();
        fs::create_directories(Path("out"));
    }
    fs::path Copy(const std::string& relative, const std::string& name) {
        const fs::path to = Path("src") / name;
        fs::create_directories(to.parent_path());
        fs::copy_file(DataDir() / relative, to, fs::copy_options::overwrite_existing);
        return to;
    }
    // Runs the tool with `arguments` (quoted already) and `answers` on standard input,
    // each time into an output folder of its own.
    Result Run(const std::string& arguments, const std::string& answers = {}) {
        const fs::path out = Path("out") / std::to_string(++runs_);
        fs::create_directories(out);
        WriteFile("answers.txt", answers);
        const std::string command = ShellQuoted((BinDir() / "tallowin-batch").string()) + " -o " + ShellQuoted(out.string()) +
                                    " " + arguments + " <" + ShellQuoted(Path("answers.txt").string()) + " >" +
                                    ShellQuoted(Path("stdout.txt").string()) + " 2>" + ShellQuoted(Path("stderr.txt").string());
        const int raw = std::system(("bash -c " + ShellQuoted(command)).c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(Path("stdout.txt")), ReadFile(Path("stderr.txt"))};
    }
    // Four photos that all become "same.png": 227x149, 32x32, 227x149, 32x32.
    std::string FourOfOneName() {
        std::string inputs;
        for (int i = 0; i < 4; ++i) {
            const bool jpeg = i % 2 == 0;
            inputs += " " + ShellQuoted(Copy(jpeg ? "libjpeg-turbo/testorig.jpg" : "pngsuite/basn2c08.png",
                                       std::to_string(i) + (jpeg ? "/same.jpg" : "/same.png"))
                                      .string());
        }
        return inputs;
    }
    int runs_ = 0;
};

TEST_F(BatchRulesTest, RenameKeepsEveryPhotoUnderNumberedNames) {
    const Result r = Run("-f png --original-size -q --overwrite rename" + FourOfOneName());
    EXPECT_EQ(r.status, 0) << r.err;
    const fs::path folder = r.RunFolder();
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"same (2).png", "same (3).png", "same (4).png", "same.png"}));
    EXPECT_EQ(Identify(folder / "same.png"), "PNG 227 149");
    EXPECT_EQ(Identify(folder / "same (2).png"), "PNG 32 32");
    EXPECT_EQ(Identify(folder / "same (3).png"), "PNG 227 149");
    EXPECT_EQ(Identify(folder / "same (4).png"), "PNG 32 32");
}

TEST_F(BatchRulesTest, AskTakesTheFiveAnswersFromTheTerminal) {
    // Keep both, then yes to all: the last photo replaces without a question.
    const Result all = Run("-f png --original-size -q --overwrite ask" + FourOfOneName(), "k\na\n");
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(FilesIn(all.RunFolder()), (std::vector<std::string>{"same (2).png", "same.png"}));
    EXPECT_EQ(Identify(all.RunFolder() / "same.png"), "PNG 32 32");  // the fourth photo's
    EXPECT_NE(all.err.find("[y]es, [n]o, yes to [a]ll, [s]kip all, [k]eep both"), std::string::npos) << all.err;
    const auto questions = [](const std::string& err) {
        size_t count = 0;
        for (size_t at = err.find("Do you want to replace it?"); at != std::string::npos;
             at = err.find("Do you want to replace it?", at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(questions(all.err), 2u);

    // Skip all: one question, the first photo's file stays, three photos not converted.
    const Result none = Run("-f png --original-size -q --overwrite ask" + FourOfOneName(), "s\n");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(questions(none.err), 1u);
    EXPECT_EQ(FilesIn(none.RunFolder()), std::vector<std::string>{"same.png"});
    EXPECT_EQ(Identify(none.RunFolder() / "same.png"), "PNG 227 149");

    // y and an empty line (no), then the end of input (no).
    const Result each = Run("-f png --original-size -q --overwrite ask" + FourOfOneName(), "y\n\n");
    EXPECT_EQ(each.status, 1);
    EXPECT_EQ(questions(each.err), 3u);
    EXPECT_EQ(Identify(each.RunFolder() / "same.png"), "PNG 32 32");  // the second photo's
}

TEST_F(BatchRulesTest, AnUnknownOverwriteAnswerIsRefused) {
    const Result r = Run("--overwrite sometimes " + ShellQuoted(Copy("pngsuite/basn2c08.png", "a.png").string()));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
}

TEST_F(BatchRulesTest, LongEdgeAndFitKeepPortraitsStandingAndShrinkOnlyNeverEnlarges) {
    // 227 x 149 landscape, turned into a 149 x 227 portrait, and a 32 x 32 square.
    const fs::path landscape = Copy("libjpeg-turbo/testorig.jpg", "landscape.jpg");
    ASSERT_EQ(std::system(("convert " + ShellQuoted(landscape.string()) + " -rotate 90 " +
                           ShellQuoted(Path("src/portrait.png").string()))
                              .c_str()),
              0);
    const fs::path square = Copy("pngsuite/basn2c08.png", "square.png");
    const std::string inputs =
        " " + ShellQuoted(landscape.string()) + " " + ShellQuoted(Path("src/portrait.png").string()) + " " + ShellQuoted(square.string());
    struct Case {
        const char* options;
        const char* landscape;
        const char* portrait;
        const char* square;
    };
    const Case cases[] = {
        {"--long-edge 100", "PNG 100 66", "PNG 66 100", "PNG 100 100"},
        {"--long-edge 100 --shrink-only", "PNG 100 66", "PNG 66 100", "PNG 32 32"},
        {"--fit 120x60", "PNG 91 60", "PNG 39 60", "PNG 60 60"},
        {"--fit 1000x1000 --shrink-only", "PNG 227 149", "PNG 149 227", "PNG 32 32"},
        {"--width 64 --shrink-only", "PNG 64 42", "PNG 64 97", "PNG 32 32"},
    };
    for (const Case& c : cases) {
        const Result r = Run(std::string("-f png -q ") + c.options + inputs);
        ASSERT_EQ(r.status, 0) << c.options << "\n" << r.err;
        EXPECT_EQ(Identify(r.RunFolder() / "landscape.png"), c.landscape) << c.options;
        EXPECT_EQ(Identify(r.RunFolder() / "portrait.png"), c.portrait) << c.options;
        EXPECT_EQ(Identify(r.RunFolder() / "square.png"), c.square) << c.options;
    }
}

TEST_F(BatchRulesTest, LongEdgeMeasuresThePhotoAsItIsShownNotAsItIsStored) {
    // Stored 1200 x 1800 with an EXIF orientation that turns it into 1800 x 1200.
    const fs::path turned = Copy("exif-orientation/Landscape_6.jpg", "turned.jpg");
    const Result r = Run("-f png -q --long-edge 90 " + ShellQuoted(turned.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Identify(r.RunFolder() / "turned.png"), "PNG 90 60");
}

TEST_F(BatchRulesTest, SizeRulesRefuseWhatTheyCannotUse) {
    const std::string photo = " " + ShellQuoted(Copy("pngsuite/basn2c08.png", "a.png").string());
    const struct {
        const char* options;
        const char* message;
    } refused[] = {
        {"--long-edge 0", "tallowin-batch: --long-edge: expected a number of pixels of at least 1, got 0"},
        {"--fit 100", "tallowin-batch: --fit: expected WxH with positive numbers, got \"100\""},
        {"--fit 0x100", "tallowin-batch: --fit: expected WxH with positive numbers, got \"0x100\""},
        {"--long-edge 100 --fit 10x10", "tallowin-batch: "},
        {"--long-edge 100 --width 10", "tallowin-batch: "},
    };
    for (const auto& [options, message] : refused) {
        const Result r = Run(std::string(options) + photo);
        EXPECT_EQ(r.status, 2) << options;
        EXPECT_EQ(r.err.rfind(message, 0), 0u) << options << "\n" << r.err;
    }
}

}  // namespace
}  // namespace tallowin::test
