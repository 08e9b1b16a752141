#include "test_world.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tallowin::test {

fs::path DataDir() { return fs::path(TALLOWIN_TEST_DATA); }
fs::path BinDir() { return fs::path(TALLOWIN_BIN_DIR); }

namespace {
// Made once, before any test points TMPDIR into its own world. mkdtemp makes it new
// and empty: a folder named by the pid alone could be one a killed run left behind.
const fs::path& BaseTemp()
{
    static const fs::path base = [] {
        const std::string name = "tallowin-test-" + std::to_string(::getpid()) + "-XXXXXX";
        std::string pattern = (fs::temp_directory_path() / name).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw fs::filesystem_error("mkdtemp", pattern, std::error_code(errno, std::generic_category()));
        return fs::path(pattern);
    }();
    return base;
}
}  // namespace

void TestWorld::SetUp()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    root_ = BaseTemp() / name;
    fs::remove_all(root_);
    for (const char* sub : {"config", "tmp", "runtime", "home"})
        fs::create_directories(root_ / sub);
    fs::permissions(root_ / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root_ / "runtime").c_str(), 1);
    ::setenv("HOME", (root_ / "home").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
}

void TestWorld::TearDown()
{
    std::error_code ec;
    // Restore write permission anywhere a test took it away, then clean up.
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
    // The process's folder goes too once its last test is done: under CTest every test
    // is a process of its own, and each would leave an empty folder behind.
    fs::remove(BaseTemp(), ec);
}

fs::path TestWorld::WriteFile(const std::string& relative, const std::string& bytes) const
{
    fs::path p = root_ / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace tallowin::test
