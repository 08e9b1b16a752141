// Every copied suite file behaves as the manifest expects: decodes at its size, or is
// refused cleanly, or (where either is acceptable) does one of the two without harm.
#include "decoder_test_support.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace tallowin::test {
namespace {

struct Expectation {
    std::string path;
    std::string kind;  // decode | reject | either
    int32_t width = 0;
    int32_t height = 0;
};

std::vector<Expectation> LoadExpectations() {
    std::vector<Expectation> rows;
    std::ifstream in(DataDir() / "decoder_expectations.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Expectation e;
        std::string w, h;
        std::getline(fields, e.path, '\t');
        std::getline(fields, e.kind, '\t');
        std::getline(fields, w, '\t');
        std::getline(fields, h, '\t');
        e.width = w.empty() ? 0 : std::stoi(w);
        e.height = h.empty() ? 0 : std::stoi(h);
        rows.push_back(e);
    }
    return rows;
}

TEST(DecoderManifest, EveryFileBehavesAsExpected) {
    const auto rows = LoadExpectations();
    ASSERT_GT(rows.size(), 200u);
    for (const Expectation& e : rows) {
        SCOPED_TRACE(e.path);
        const Decoded d = DecodeFile(DataFile(e.path));
        if (e.kind == "reject") {
            EXPECT_FALSE(Decodes(d));
            EXPECT_TRUE(d.raster.pixels.empty());
            continue;
        }
        if (e.kind == "decode") {
            ASSERT_TRUE(Decodes(d));
        }
        if (!Decodes(d)) {
            EXPECT_TRUE(d.raster.pixels.empty());
            continue;
        }
        // The header's size is the decoded size, and both match the manifest.
        EXPECT_EQ(d.raster.width, d.info.width);
        EXPECT_EQ(d.raster.height, d.info.height);
        EXPECT_EQ(d.raster.pixels.size(), static_cast<size_t>(d.raster.width) * d.raster.height * 4);
        if (e.width > 0) {
            EXPECT_EQ(d.info.width, e.width);
            EXPECT_EQ(d.info.height, e.height);
        }
        EXPECT_GT(d.info.dpiX, 0.0f);
        EXPECT_GT(d.info.dpiY, 0.0f);
    }
}

}  // namespace
}  // namespace tallowin::test
