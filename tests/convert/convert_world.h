#pragma once
// A test world for the conversion: the scripted port, a model with the codec service
// started and the WDP library loaded from the build, source photos copied into the
// test's folder, and an independent reader (ImageMagick's identify) for the outputs.

#include "fake_window_port.h"
#include "main_window_model.h"
#include "settings_store.h"
#include "test_world.h"

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tallowin::test {

// What ImageMagick reads from a file: "format width height depth colours", or empty.
std::string Identify(const std::filesystem::path& file, const std::string& format = "%m %w %h %z");

// Runs a shell command; returns its exit status and fills `output` with its standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Names of the files (hidden ones too) directly in a folder, sorted.
std::vector<std::string> FilesIn(const std::filesystem::path& folder);

// 2024-03-07 14:05:<second> local time: a moment for runs whose folder names are checked.
std::time_t TestMoment(int second);

// PNG output drawn at 60 x 40, for tests about where decoding happens, not how it looks.
OutputSettings SmallPng();

// Writes a 24-bit BMP of width x height whose pixel (x, y) (top-down) is colours[(x + y) % n].
void WriteColourBmp(const std::filesystem::path& file, int width, int height, const std::vector<uint32_t>& rgb);

class ConvertWorld : public TestWorld {
protected:
    void SetUp() override;
    void TearDown() override;

    // Copies a file of tests/data/convert into the test's "src" folder.
    std::filesystem::path Source(const std::string& relative, const std::string& name = {});

    // Adds `source` as Add Photos would, with `settings`, its output at `output`.
    PhotoRecord Added(const std::filesystem::path& source, const OutputSettings& settings,
                      const std::filesystem::path& output);

    FakeWindowPort port;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<MainWindowModel> model;
    std::filesystem::path out;  // an output folder that exists
};

}  // namespace tallowin::test
