// tallowin-batch in scripts: --keep-tree (folders below the searched folder, names that
// no longer collide, links and files in the way refused), --files-from (NUL and newline
// lists, standard input, unreadable lists) and --json (lines that parse, in list order,
// odd file names carried exactly, files that could not be added).

#include "cli_test_support.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <sstream>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Hex(const std::string& bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        text += kDigits[static_cast<unsigned char>(c) >> 4];
        text += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return text;
}

// Every file below `folder`, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const fs::path& folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Parses --json output with Python's strict JSON reader; one row per line:
// photo lines "outcome|hex(source)|hex(output)|reason", the last "RUN|hex(run folder)|counts".
// Paths are the exact bytes: the "_bytes" field when there is one, else the string.
constexpr const char* kJsonReader = R"PY(
import base64, json, sys
lines = open(sys.argv[1], 'rb').read().decode('utf-8').split('\n')
assert lines[-1] == '', 'no newline at the end'
def path(o, k):
    if o[k] is None: return ''
    if k + '_bytes' in o:
        raw = base64.b64decode(o[k + '_bytes'], validate=True)
        assert o[k] == raw.decode('utf-8', 'replace'), 'the text differs from the bytes'
        return raw.hex()
    return o[k].encode('utf-8').hex()
for n, line in enumerate(lines[:-1]):
    o = json.loads(line)
    if n == len(lines) - 2:
        assert set(o) <= {'run_folder', 'run_folder_bytes', 'converted', 'converted_in_part', 'failed',
                          'skipped', 'not_added'}, o
        print('RUN|%s|%d %d %d %d %d' % (path(o, 'run_folder'), o['converted'], o['converted_in_part'],
                                         o['failed'], o['skipped'], o['not_added']))
    else:
        assert isinstance(o['time'], (int, float)) and o['time'] >= 0, o
        assert o['finished'].endswith('Z'), o
        print('%s|%s|%s|%s' % (o['outcome'], path(o, 'source'), path(o, 'output'), o['reason']))
)PY";

class BatchScriptingTest : public TestWorld {
protected:
    void SetUp() override
    {
        TestWorld::SetUp();
        fs::create_directories(Path("out"));
        WriteFile("json_reader.py", kJsonReader);
    }
    // A photo at `relative` below the test folder: the 227 x 149 JPEG or the 32 x 32 PNG.
    fs::path Photo(const std::string& relative, bool large = true)
    {
        const fs::path from = DataDir() / (large ? "libjpeg-turbo/testorig.jpg" : "pngsuite/basn2c08.png");
        const fs::path to = Path(relative);
        fs::create_directories(to.parent_path());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to;
    }
    // Runs the tool in the test folder; standard input from `input` (a path) or empty.
    Result Run(const std::string& arguments, const std::string& input = "/dev/null")
    {
        const std::string command = "cd " + Quoted(Root().string()) + " && " +
            Quoted((BinDir() / "tallowin-batch").string()) + " " + arguments + " <" + Quoted(input) +
            " >stdout.txt 2>stderr.txt";
        const int raw = std::system(("bash -c " + Quoted(command)).c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(Path("stdout.txt"));
        r.err = ReadFile(Path("stderr.txt"));
        return r;
    }
    // The rows of kJsonReader for the last run's standard output; empty when Python refused it.
    std::vector<std::string> JsonRows()
    {
        if (std::system("python3 -c 'import json' 2>/dev/null") != 0) {
            ADD_FAILURE() << "python3 is needed to read the JSON lines";
            return {};
        }
        const std::string text = Capture("python3 " + Quoted(Path("json_reader.py").string()) + " " +
                                         Quoted(Path("stdout.txt").string()) + " 2>&1; echo \"exit $?\"");
        std::vector<std::string> rows;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) rows.push_back(line);
        EXPECT_FALSE(rows.empty() || rows.back() != "exit 0") << text;
        if (!rows.empty()) rows.pop_back();
        return rows;
    }
    // The one run folder in out/, relative to the test folder ("out/2026.…").
    std::string RunFolder()
    {
        std::vector<std::string> folders;
        for (const auto& entry : fs::directory_iterator(Path("out"))) folders.push_back(entry.path().filename());
        EXPECT_EQ(folders.size(), 1u);
        return folders.empty() ? std::string() : "out/" + folders.front();
    }
    std::string Width(const std::string& relative)
    {
        return Capture("identify -format %w " + Quoted(Path(relative).string()) + " 2>/dev/null");
    }
};

TEST_F(BatchScriptingTest, KeepTreeWritesEachPhotoIntoItsFolders)
{
    Photo("src/A/a.jpg", true);
    Photo("src/B/a.jpg", false);
    Photo("src/B/deeper/c.jpg", false);
    Photo("src/top.jpg", false);
    Photo("loose.jpg", false);

    const Result r = Run("-r --keep-tree -f png --original-size -q -o out src loose.jpg");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string run = RunFolder();
    EXPECT_EQ(FilesBelow(Path(run)),
              (std::vector<std::string>{"A/a.png", "B/a.png", "B/deeper/c.png", "loose.png", "top.png"}));
    EXPECT_EQ(Width(run + "/A/a.png"), "227");
    EXPECT_EQ(Width(run + "/B/a.png"), "32");
    fs::remove_all(Path(run));

    // Serial numbers count through the whole list; only the folders come from the tree.
    const Result renamed = Run("-r --keep-tree --rename Trip -f png --width 10 -q -o out src");
    ASSERT_EQ(renamed.status, 0) << renamed.err;
    const auto files = FilesBelow(Path(RunFolder()));
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].substr(0, 9), "A/Trip.2.");  // top.jpg, a file of src itself, is photo 1
    EXPECT_EQ(files[1].substr(0, 9), "B/Trip.3.");
    EXPECT_EQ(files[2].substr(0, 16), "B/deeper/Trip.4.");
    EXPECT_EQ(files[3].substr(0, 7), "Trip.1.");
    fs::remove_all(Path(RunFolder()));

    // Without --keep-tree the two a.jpg share one output; the second meets the first's file.
    const Result flat = Run("-r --overwrite never -f png --original-size -q -o out src");
    EXPECT_EQ(flat.status, 1) << flat.err;
    EXPECT_NE(flat.err.find("exists. Do you want to replace it?"), std::string::npos) << flat.err;
    EXPECT_EQ(FilesBelow(Path(RunFolder())), (std::vector<std::string>{"a.png", "c.png", "top.png"}));
    fs::remove_all(Path(RunFolder()));

    // Two searched folders with the same folders below them still share outputs: the
    // photos of one path are converted one after the other, in list order, with -j 4 too.
    Photo("other/A/a.jpg", false);
    const Result twice = Run("-r --keep-tree --overwrite always -j 4 -f png --original-size -q -o out src other");
    EXPECT_EQ(twice.status, 0) << twice.err;
    EXPECT_EQ(Width(RunFolder() + "/A/a.png"), "32");  // other/A/a.jpg came last
}

TEST_F(BatchScriptingTest, KeepTreeWritesNothingThroughLinksAndHandlesOddNames)
{
    Photo("src/A/a.jpg", false);
    Photo("src/B/b.jpg", false);
    const std::string odd = std::string("odd \xff\n") + "'x";
    Photo("src/" + odd + "/c.jpg", false);
    Photo("elsewhere/linked/d.jpg", false);
    fs::create_directories(Path("outside"));
    fs::create_directory_symlink(Path("elsewhere/linked"), Path("src/link"));

    // Run folders for the next seconds, made by someone else, with a link where folder
    // A goes and a file where folder B goes.
    const std::time_t now = std::time(nullptr);
    for (std::time_t when = now; when < now + 6; ++when) {
        std::tm parts{};
        localtime_r(&when, &parts);
        char name[32];
        std::strftime(name, sizeof name, "%Y.%m.%d.%H.%M.%S", &parts);
        const fs::path run = Path("out") / name;
        fs::create_directories(run);
        fs::create_directory_symlink(Path("outside"), run / "A");
        WriteFile(("out/" + std::string(name) + "/B").c_str(), "a file");
    }

    const Result r = Run("-r --keep-tree -f png --width 10 -q --json -o out src");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(fs::is_empty(Path("outside")));
    EXPECT_NE(r.err.find("src/A/a.jpg: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("a link or a file stands there"), std::string::npos) << r.err;

    // The run folder is the one the last line names; the linked folder became a real one.
    const std::vector<std::string> rows = JsonRows();
    ASSERT_EQ(rows.size(), 5u) << r.out;
    const std::string runHex = rows.back().substr(4, rows.back().find('|', 4) - 4);
    std::string run;
    for (size_t i = 0; i + 1 < runHex.size(); i += 2)
        run += static_cast<char>(std::stoi(runHex.substr(i, 2), nullptr, 16));
    EXPECT_TRUE(fs::is_symlink(Path(run) / "A"));
    EXPECT_TRUE(fs::is_regular_file(Path(run) / "B"));
    EXPECT_TRUE(fs::is_regular_file(Path(run) / odd / "c.png"));
    EXPECT_TRUE(fs::is_regular_file(Path(run) / "link" / "d.png"));
    EXPECT_FALSE(fs::is_symlink(Path(run) / "link"));
    EXPECT_EQ(rows[0].substr(0, 7), "failed|") << rows[0];  // A/a.jpg
    EXPECT_EQ(rows[1].substr(0, 7), "failed|") << rows[1];  // B/b.jpg
    EXPECT_EQ(rows[2].substr(0, 10), "converted|") << rows[2];
    EXPECT_EQ(rows[3].substr(0, 10), "converted|") << rows[3];
    EXPECT_EQ(rows[4].substr(rows[4].rfind('|')), "|2 0 2 0 0");
}

TEST_F(BatchScriptingTest, FilesFromReadsNulAndNewlineListsAndStandardInput)
{
    const std::string newline = "with\nnewline.jpg";
    Photo("in/" + newline, false);
    Photo("in/ spaced .jpg", false);
    Photo("in/plain.jpg", false);
    Photo("in/arg.jpg", false);

    // NUL-separated: a newline belongs to the name.
    WriteFile("list0", "in/" + newline + std::string(1, '\0') + "in/plain.jpg" + std::string(2, '\0'));
    Result r = Run("--files-from list0 -f png --width 10 -q -o out in/arg.jpg");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FilesBelow(Path(RunFolder())), (std::vector<std::string>{"arg.png", "plain.png", "with\nnewline.png"}));
    fs::remove_all(Path(RunFolder()));

    // Newline-separated, from standard input: empty lines dropped, spaces kept.
    WriteFile("list", "\nin/ spaced .jpg\n\nin/plain.jpg");
    r = Run("--files-from - -f png --width 10 -q -o out", Path("list").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FilesBelow(Path(RunFolder())), (std::vector<std::string>{" spaced .png", "plain.png"}));
    fs::remove_all(Path(RunFolder()));

    // A line that names no file fails that path only.
    WriteFile("list", "in/plain.jpg\nin/plain.jpg \n");
    r = Run("--files-from list -f png --width 10 -q -o out");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("in/plain.jpg : "), std::string::npos) << r.err;
    fs::remove_all(Path(RunFolder()));

    // An empty list converts nothing and is no error.
    WriteFile("empty", "");
    r = Run("--files-from empty -f png -q -o out");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_empty(Path("out")));

    // Lists that cannot be read stop before anything is done, naming the list.
    r = Run("--files-from missing.txt -f png -q -o out");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("tallowin-batch: --files-from missing.txt: No such file or directory"), std::string::npos)
        << r.err;
    r = Run("--files-from in -f png -q -o out");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--files-from in: Is a directory"), std::string::npos) << r.err;
    // The questions of --overwrite ask would read the list as answers.
    r = Run("--files-from - --overwrite ask -f png -q -o out", Path("list").string());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--overwrite ask"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(Path("out")));
    // Without paths or a list there is nothing to do.
    EXPECT_EQ(Run("-f png -q -o out").status, 2);
}

TEST_F(BatchScriptingTest, JsonLinesParseInListOrderWithOddNamesAndEveryOutcome)
{
    const std::string odd = std::string("q\"b\\s\t\x01\xff\xc0\xaf\xed\xa0\x80 \xe2\x80\xa8 \xc3\xa9");
    Photo("in/1.jpg", true);
    Photo("in/" + odd + ".jpg", false);
    WriteFile("in/3-not-a-photo.jpg", "text, not a photo");
    fs::create_directories(Path("in/4-folder"));
    Photo("in/5.jpg", false);
    std::string broken = ReadFile(DataDir() / "pngsuite/basn2c08.png");
    for (size_t i = broken.find("IDAT") + 10; i < broken.find("IDAT") + 60; ++i) broken[i] ^= 0x5A;
    WriteFile("in/6-broken.png", broken);
    Photo("in/7/5.jpg", false);  // the same output as in/5.jpg: kept, so skipped

    const std::string list = std::string("in/1.jpg") + '\0' + "in/" + odd + ".jpg" + '\0' + "in/3-not-a-photo.jpg" +
        '\0' + "in/4-folder" + '\0' + "in/5.jpg" + '\0' + "in/missing.jpg" + '\0' + "in/6-broken.png" + '\0' +
        "in/7/5.jpg";
    WriteFile("list", list);
    const Result r =
        Run("--json --files-from - --overwrite never -j 3 -f png --width 20 -q -o out", Path("list").string());
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string run = RunFolder() + "/";
    const std::vector<std::string> rows = JsonRows();
    const std::vector<std::string> expected = {
        "converted|" + Hex("in/1.jpg") + "|" + Hex(run + "1.png") + "|",
        "converted|" + Hex("in/" + odd + ".jpg") + "|" + Hex(run + odd + ".png") + "|",
        "not added|" + Hex("in/3-not-a-photo.jpg") + "||can not be added: not a photo",
        "not added|" + Hex("in/4-folder") + "||is a folder; add --recursive to search it for photos",
        "converted|" + Hex("in/5.jpg") + "|" + Hex(run + "5.png") + "|",
        "not added|" + Hex("in/missing.jpg") + "||in/missing.jpg was not found.",
        "failed|" + Hex("in/6-broken.png") + "|" + Hex(run + "6-broken.png") + "|Failed to convert photo! (damaged)",
    };
    ASSERT_EQ(rows.size(), expected.size() + 2) << r.out;
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rows[i], expected[i]) << i;
    EXPECT_EQ(rows[7].rfind("skipped|" + Hex("in/7/5.jpg") + "|" + Hex(run + "5.png") + "|", 0), 0u) << rows[7];
    EXPECT_EQ(rows[8], "RUN|" + Hex(run) + "|3 0 1 1 3");
    // The string of a path that is no UTF-8 is still valid UTF-8, with its controls escaped.
    EXPECT_NE(r.out.find(R"("source":"in/q\"b\\s\t\u0001\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd \u2028 é.jpg")"),
              std::string::npos)
        << r.out;

    // A run that writes nothing says so on its last line.
    fs::remove_all(Path(run));
    const Result none = Run("--json -f png -q -o out in/missing.jpg");
    EXPECT_EQ(none.status, 1);
    const std::vector<std::string> noneRows = JsonRows();
    ASSERT_EQ(noneRows.size(), 2u) << none.out;
    EXPECT_EQ(noneRows[1], "RUN||0 0 0 0 1");
    EXPECT_NE(none.out.find("{\"run_folder\":null,"), std::string::npos) << none.out;
}

TEST_F(BatchScriptingTest, WithoutJsonTheRunFolderIsStillTheLastLine)
{
    Photo("in/a.jpg", false);
    const Result r = Run("-f png --width 10 -q -o out in/a.jpg");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, RunFolder() + "/\n");
}

}  // namespace
}  // namespace tallowin::test
