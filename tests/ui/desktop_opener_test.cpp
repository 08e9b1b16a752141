// Opening files and addresses with the desktop's opener: its exit status is the answer,
// so a browser that cannot be started is reported instead of failing unseen.

#include "desktop_opener.h"
#include "test_world.h"

#include <QString>

#include <filesystem>
#include <fstream>

namespace tallowin::ui {
namespace {

namespace fs = std::filesystem;

class DesktopOpenerTest : public test::TestWorld {
protected:
    void SetUp() override {
        TestWorld::SetUp();
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
        fs::create_directories(Path("bin"));
        ::setenv("PATH", Path("bin").c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", savedPath_.c_str(), 1);
        TestWorld::TearDown();
    }
    // An xdg-open that notes its argument and ends with `status`.
    void FakeOpener(int status) {
        const fs::path opener = Path("bin/xdg-open");
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << Path("opened").string() << "'\nexit "
                              << status << "\n";
        fs::permissions(opener, fs::perms::owner_all);
    }
    std::string Opened() const { return test::ReadFile(Path("opened")); }

    std::string savedPath_;
};

TEST_F(DesktopOpenerTest, TheOpenersExitStatusIsTheAnswer) {
    FakeOpener(0);
    EXPECT_TRUE(OpenWithDesktopApplication(QStringLiteral("https://example.org/page")));
    EXPECT_EQ(Opened(), "https://example.org/page");

    const std::string folder = Path("results folder").string();
    fs::create_directories(folder);
    EXPECT_TRUE(OpenWithDesktopApplication(QString::fromStdString(folder)));
    EXPECT_EQ(Opened(), folder);

    // xdg-open ends with 3 when no application (no browser) can be found.
    FakeOpener(3);
    EXPECT_FALSE(OpenWithDesktopApplication(QStringLiteral("https://example.org/page")));
}

TEST_F(DesktopOpenerTest, AMissingFileIsNotOpened) {
    FakeOpener(0);
    EXPECT_FALSE(OpenWithDesktopApplication(QString::fromStdString(Path("help/Introduction.htm").string())));
    EXPECT_EQ(Opened(), "");
}

}  // namespace
}  // namespace tallowin::ui
