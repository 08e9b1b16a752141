#include "convert_world.h"

#include "dib_image.h"
#include "paths.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace tallowin::test {

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::array<char, 4096> buffer{};
    std::string text;
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        text.append(buffer.data(), got);
    }
    const int status = pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::time_t TestMoment(int second) {
    std::tm parts{};
    parts.tm_year = 2024 - 1900;
    parts.tm_mon = 2;
    parts.tm_mday = 7;
    parts.tm_hour = 14;
    parts.tm_min = 5;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

OutputSettings SmallPng() {
    OutputSettings s;
    s.nOuptputFormat = FormatPng;
    s.nOuputSizeType = SizeCustom;
    s.nOutputWidth = 60;
    s.nOutputHeight = 40;
    return s;
}

std::string Identify(const fs::path& file, const std::string& format) {
    std::string text;
    if (RunCommand("identify -format '" + format + "' '" + file.string() + "' 2>/dev/null", &text) != 0) {
        return {};
    }
    return text;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void WriteColourBmp(const fs::path& file, int width, int height, const std::vector<uint32_t>& rgb) {
    CDibImage image;
    ASSERT_NE(image.Allocate(width, height, 24), nullptr);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t c = rgb[static_cast<size_t>(x + y) % rgb.size()];
            const RGBQUAD q{static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>((c >> 8) & 0xFF),
                            static_cast<uint8_t>(c >> 16), 0};
            image.SetPixelColour(x, height - 1 - y, q);
        }
    }
    ASSERT_TRUE(image.SaveFile(file.c_str(), kDibFormatBmp));
}

void ConvertWorld::SetUp() {
    TestWorld::SetUp();
    store = std::make_unique<SettingsStore>((Root() / "config" / "store.ini").string());
    // The runs of these tests convert one photo at a time unless a test says otherwise.
    store->WriteProfileInt("Option", "workers", 1);
    model = std::make_unique<MainWindowModel>(port, *store);
    model->StartCodecService();
    model->Wdp().LoadWdpCodecLibrary(AddTrailingBackslash(BinDir().string()));
    out = Root() / "out";
    fs::create_directories(out);
    fs::create_directories(Root() / "src");
}

void ConvertWorld::TearDown() {
    model.reset();
    store.reset();
    TestWorld::TearDown();
}

fs::path ConvertWorld::Source(const std::string& relative, const std::string& name) {
    const fs::path from = DataDir() / relative;
    const fs::path to = Root() / "src" / (name.empty() ? from.filename() : fs::path(name));
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    return to;
}

PhotoRecord ConvertWorld::Added(const fs::path& source, const OutputSettings& settings, const fs::path& output) {
    model->Settings().current = settings;
    PhotoRecord photo;
    EXPECT_TRUE(model->AddPhotoFromFile(source.string(), photo)) << source;
    photo.outputPath = output.string();
    return photo;
}

}  // namespace tallowin::test
