// The activity log: line format, the list's cap, the file, View log.

#include "activity_log.h"
#include "engine_world.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>

namespace tallowin::test {
namespace {

using ::testing::ElementsAre;

using ActivityLogTest = EngineWorld;

std::vector<std::string> FileLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(ActivityLogLine, LocalTimePrefixEndsWithABlank)
{
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    // 2024-03-07 09:05:07 UTC
    EXPECT_EQ(FormatLogLine(1709802307, "Failed to convert photo!"), "2024/03/07 09:05:07 Failed to convert photo!");
    if (oldTz) ::setenv("TZ", savedTz.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
}

TEST_F(ActivityLogTest, LinesReachListAndFileAndTheListKeepsTheLast500)
{
    model->Log().SetFilePath(Path("out/Tallowin.log").string());
    std::filesystem::create_directories(Path("out"));
    for (int i = 1; i <= 501; ++i) ASSERT_TRUE(model->Log().Append("line " + std::to_string(i)));

    const std::regex linePattern(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} line \d+)");
    const auto list = port.LogLines();
    ASSERT_EQ(list.size(), 500u);
    EXPECT_TRUE(std::regex_match(list.front(), linePattern));
    EXPECT_TRUE(list.front().ends_with(" line 2"));
    EXPECT_TRUE(list.back().ends_with(" line 501"));
    EXPECT_EQ(model->Log().Lines().size(), 500u);

    const auto file = FileLines(model->Log().FilePath());
    ASSERT_EQ(file.size(), 501u);
    EXPECT_TRUE(std::regex_match(file.front(), linePattern));
    EXPECT_TRUE(file.front().ends_with(" line 1"));
    EXPECT_EQ(file.back(), list.back());
}

TEST_F(ActivityLogTest, TheFileGrowsAcrossRunsWhileTheListStartsEmpty)
{
    model->Log().SetFilePath(Path("Tallowin.log").string());
    model->Log().Append("first run");
    model->Log().Clear();  // a run starts
    EXPECT_TRUE(port.LogLines().empty());
    Restart();
    model->Log().SetFilePath(Path("Tallowin.log").string());
    model->Log().Append("second run");
    EXPECT_EQ(model->Log().Lines().size(), 1u);
    const auto file = FileLines(Path("Tallowin.log"));
    ASSERT_EQ(file.size(), 2u);
    EXPECT_TRUE(file[0].ends_with(" first run"));
    EXPECT_TRUE(file[1].ends_with(" second run"));
}

TEST_F(ActivityLogTest, AFileThatCannotBeOpenedLeavesTheLineInTheListOnly)
{
    model->Log().SetFilePath(Path("missing-folder/Tallowin.log").string());
    EXPECT_FALSE(model->Log().Append("lost"));
    ASSERT_EQ(port.LogLines().size(), 1u);
    EXPECT_TRUE(port.LogLines().front().ends_with(" lost"));
    EXPECT_TRUE(port.Messages().empty());
}

TEST_F(ActivityLogTest, ViewLogOpensAnExistingFileAndOtherwiseSaysThereIsNone)
{
    model->Log().SetFilePath(Path("My Pictures/Pictavo/Tallowin.log").string());
    model->Log().View();
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "There is not log file now!");
    EXPECT_EQ(port.Messages()[0].caption, "Message");
    EXPECT_TRUE(port.Opened().empty());

    // A folder of that name is no log file either.
    std::filesystem::create_directories(model->Log().FilePath());
    model->Log().View();
    EXPECT_EQ(port.Messages().size(), 2u);
    std::filesystem::remove(model->Log().FilePath());

    model->Log().Append("something");
    model->Log().View();
    EXPECT_EQ(port.Messages().size(), 2u);
    EXPECT_THAT(port.Opened(), ElementsAre(model->Log().FilePath()));  // blanks and all, one path
}

}  // namespace
}  // namespace tallowin::test
