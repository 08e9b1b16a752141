// The pieces of tallowin-batch's script options on their own: JSON strings for every
// kind of byte sequence, base64, list splitting and the folders --keep-tree may make.

#include "output_tree.h"
#include "path_list.h"
#include "result_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace tallowin::cli {
namespace {

TEST(JsonStringTest, EscapesControlsAndReplacesEveryByteThatIsNoUtf8)
{
    EXPECT_EQ(JsonString(""), R"("")");
    EXPECT_EQ(JsonString("a\"b\\c/d"), R"("a\"b\\c/d")");
    EXPECT_EQ(JsonString(std::string("\n\r\t\b\f\x01\x1f\x7f", 8)), R"("\n\r\t\b\f\u0001\u001f\u007f")");
    EXPECT_EQ(JsonString(std::string("a\0b", 3)), R"("a\u0000b")");
    // Well-formed characters of two, three and four bytes pass as they are.
    EXPECT_EQ(JsonString("\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xb7"), "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xb7\"");
    // Line and paragraph separators are escaped.
    EXPECT_EQ(JsonString("\xe2\x80\xa8\xe2\x80\xa9"), R"("\u2028\u2029")");
    struct Case {
        const char* bytes;
        const char* json;
    } const cases[] = {
        {"\xff", R"("\ufffd")"},  // never in UTF-8
        {"\x80x", R"("\ufffdx")"},  // a stray continuation byte
        {"\xc0\xaf", R"("\ufffd\ufffd")"},  // overlong "/"
        {"\xe0\x80\xaf", R"("\ufffd\ufffd\ufffd")"},  // overlong, three bytes
        {"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},  // a UTF-16 surrogate
        {"\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},  // beyond U+10FFFF
        {"\xe2\x82", R"("\ufffd\ufffd")"},  // cut short at the end
        {"\xe2\x82x", R"("\ufffd\ufffdx")"},  // cut short before ASCII
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonString(c.bytes), c.json) << c.json;
        EXPECT_FALSE(IsUtf8(c.bytes)) << c.json;
    }
    EXPECT_TRUE(IsUtf8("plain \xc3\xa9 \xf0\x9f\x93\xb7"));
}

TEST(JsonStringTest, Base64PadsEveryLength)
{
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("f"), "Zg==");
    EXPECT_EQ(Base64("fo"), "Zm8=");
    EXPECT_EQ(Base64("foo"), "Zm9v");
    EXPECT_EQ(Base64("\xff\xfe\xfd\xfc"), "//79/A==");
}

TEST(JsonStringTest, APhotoLineHasEveryFieldAndTheBytesOfAPathThatIsNoUtf8)
{
    const std::string line = PhotoResultLine({"a\xff.jpg", std::nullopt, "not added", "why", 1.5});
    EXPECT_EQ(line.rfind(R"({"source":"a\ufffd.jpg","source_bytes":"Yf8uanBn","output":null,)"
                         R"("outcome":"not added","reason":"why","time":1.500,"finished":")",
                         0),
              0u)
        << line;
    EXPECT_EQ(line.back(), '}');
}

TEST(ResultLinesTest, ALineWaitsForTheLinesBeforeIt)
{
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    const auto written = [out] {
        std::fflush(out);
        std::string text(static_cast<size_t>(std::ftell(out)), '\0');
        std::rewind(out);
        text.resize(std::fread(text.data(), 1, text.size(), out));
        std::fseek(out, 0, SEEK_END);  // later lines go after these
        return text;
    };
    ResultLines lines(out);
    const size_t first = lines.Reserve();
    const size_t second = lines.Reserve();
    const size_t third = lines.Reserve();
    lines.Fill(third, {"c", "out/c", "skipped", "kept", 0});
    lines.Fill(second, {"b", std::nullopt, "not added", "not a photo", 0});
    EXPECT_EQ(written(), "");
    EXPECT_FALSE(lines.Filled(first));
    lines.Fill(first, {"a", "out/a", "converted", "", 0.25});
    lines.Finish(std::string("out/"));
    const std::string text = written();
    const size_t a = text.find(R"({"source":"a")");
    const size_t b = text.find(R"({"source":"b")");
    const size_t c = text.find(R"({"source":"c")");
    const size_t run = text.find(R"({"run_folder":"out/","converted":1,"converted_in_part":0,"failed":0,)"
                                 R"("skipped":1,"not_added":1})");
    EXPECT_TRUE(a == 0 && a < b && b < c && c < run && run != std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    std::fclose(out);
}

TEST(PathListTest, SplitsAtNulWhenThereIsOneElseAtNewlines)
{
    using List = std::vector<std::string>;
    EXPECT_EQ(SplitPathList(""), List{});
    EXPECT_EQ(SplitPathList("\n\n"), List{});
    EXPECT_EQ(SplitPathList("a\n\n b \r\nc"), (List{"a", " b \r", "c"}));
    EXPECT_EQ(SplitPathList(std::string("a\nb\0\0c\0", 7)), (List{"a\nb", "c"}));
}

TEST(OutputTreeTest, FoldersBelowTheSearchedFolderOnly)
{
    EXPECT_EQ(FolderBelow("src/", "src/a.jpg"), "");
    EXPECT_EQ(FolderBelow("src/", "src/A/B/a.jpg"), "A/B");
    EXPECT_EQ(FolderBelow("src//", "src//A/a.jpg"), "A");
    EXPECT_EQ(FolderBelow("src/", "other/a.jpg"), std::nullopt);
    EXPECT_EQ(FolderBelow("src", "src/a.jpg"), std::nullopt);
    for (const char* escaping : {"src/../a.jpg", "src/A/../../a.jpg", "src/./a.jpg", "src/A//a.jpg", "src/A/"}) {
        EXPECT_EQ(FolderBelow("src/", escaping), std::nullopt) << escaping;
    }
}

}  // namespace
}  // namespace tallowin::cli
