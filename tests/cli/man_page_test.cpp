// The manual pages: groff renders them without a warning, and the page of
// tallowin-batch describes every option and every value its --help lists.

#include "cli_test_support.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

fs::path ManPage(const std::string& name) { return DataDir().parent_path().parent_path() / "man" / name; }

// The page's text as a reader sees the options: "\-" as "-", font changes dropped.
std::string PlainText(std::string page)
{
    page = std::regex_replace(page, std::regex(R"(\\f[BIRP])"), "");
    return std::regex_replace(page, std::regex(R"(\\-)"), "-");
}

// Whether `word` stands in `text` on its own (not as part of a longer option or word).
bool HasWord(const std::string& text, const std::string& word)
{
    const auto isWordChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
    };
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const bool before = at == 0 || !isWordChar(text[at - 1]);
        const bool after = at + word.size() == text.size() || !isWordChar(text[at + word.size()]);
        if (before && after) return true;
    }
    return false;
}

TEST(ManPageTest, GroffRendersThePagesWithoutWarnings)
{
    if (std::system("command -v groff >/dev/null 2>&1") != 0) GTEST_SKIP() << "groff is not installed";
    for (const char* name : {"tallowin-batch.1", "tallowin.1"}) {
        const fs::path page = ManPage(name);
        ASSERT_TRUE(fs::exists(page)) << page;
        const std::string warnings = Capture("groff -man -Tutf8 -ww -z '" + page.string() + "' 2>&1");
        EXPECT_EQ(warnings, "") << name;
        const std::string text = Capture("groff -man -Tutf8 -P-cbu '" + page.string() + "' 2>/dev/null");
        EXPECT_NE(text.find("SYNOPSIS"), std::string::npos) << name;
    }
}

TEST(ManPageTest, EveryOptionAndValueOfTheHelpIsInThePage)
{
    const std::string help = Capture("'" + (BinDir() / "tallowin-batch").string() + "' --help 2>&1");
    const std::string page = PlainText(ReadFile(ManPage("tallowin-batch.1")));
    ASSERT_FALSE(page.empty());
    std::set<std::string> options;
    const std::regex option(R"((?:^|[\s,\[])(--?[A-Za-z][A-Za-z0-9-]*))");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it) {
        options.insert((*it)[1]);
    }
    // The short options, the long ones and those the tool gained for scripts.
    for (const char* known : {"-r", "-o", "-f", "-j", "-q", "--help", "--overwrite", "--files-from", "--json"}) {
        EXPECT_EQ(options.count(known), 1u) << known << " not found in --help:\n" << help;
    }
    for (const std::string& name : options) {
        EXPECT_TRUE(HasWord(page, name)) << name << " is not in the manual page";
    }
    // The values of options that take one of a set: "TEXT:{ask,always,never}".
    const std::regex set(R"(:\{([^}]*)\})");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), set); it != std::sregex_iterator(); ++it) {
        const std::string values = (*it)[1];
        for (size_t start = 0; start <= values.size();) {
            size_t end = values.find(',', start);
            if (end == std::string::npos) end = values.size();
            const std::string value = values.substr(start, end - start);
            EXPECT_TRUE(HasWord(page, value)) << value << " (of {" << values << "}) is not in the manual page";
            start = end + 1;
        }
    }
    // Every exit status the help names.
    for (const char* status : {".B 0", ".B 1", ".B 2", ".B 3"}) {
        EXPECT_NE(page.find(std::string(".TP\n") + status + "\n"), std::string::npos) << status;
    }
}

}  // namespace
}  // namespace tallowin::test
