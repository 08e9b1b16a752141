#pragma once
// Each test owns its world: a fresh folder, its own settings home, its own
// temporary folder and the offscreen window platform.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tallowin::test {

// Folder of the checked-in test files (tests/data).
std::filesystem::path DataDir();
// Folder where the build puts executables and libphoto.so.
std::filesystem::path BinDir();

// Creates a fresh folder for the test and points XDG_CONFIG_HOME, TMPDIR,
// XDG_RUNTIME_DIR and HOME's pictures folder (XDG_PICTURES_DIR) into it.
// Everything is removed again when the test ends.
class TestWorld : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The test's own folder; sub-folders config/, tmp/, runtime/ and home/ exist.
    const std::filesystem::path& Root() const { return root_; }
    // A path inside Root() (nothing is created).
    std::filesystem::path Path(const std::string& relative) const { return root_ / relative; }
    // Writes bytes to a file inside Root() and returns its path.
    std::filesystem::path WriteFile(const std::string& relative, const std::string& bytes) const;

private:
    std::filesystem::path root_;
};

// Reads a whole file into a string (empty when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);

}  // namespace tallowin::test
