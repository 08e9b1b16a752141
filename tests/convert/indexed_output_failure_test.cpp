// Indexed BMP output that cannot be made is reported and counts as failed: no
// memory for the colour reduction's tables, and an output file that cannot be
// written. Allocations are made to fail by this binary's own operator new.

#include "convert/photo_converter.h"
#include "convert/window_conversion_host.h"
#include "convert_world.h"
#include "language.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

// While set below SIZE_MAX, every allocation of at least this many bytes fails as
// it would without the memory.
std::atomic<size_t> g_failAllocationsFrom{SIZE_MAX};

}  // namespace

// The plain and nothrow forms come from malloc here and go back to free; the other
// forms stay the runtime's own, matched with their own deletes.
void* operator new(size_t size) {
    if (size >= g_failAllocationsFrom.load(std::memory_order_relaxed)) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

// Large allocations fail while it lives. The reduction's answer tables take 16 MiB;
// a 40 x 30 photo needs nothing near that anywhere else.
class LargeAllocationsFail {
public:
    LargeAllocationsFail() { g_failAllocationsFrom.store(size_t{16} << 20); }
    ~LargeAllocationsFail() { g_failAllocationsFrom.store(SIZE_MAX); }
};

class IndexedOutputFailureTest : public ConvertWorld {
protected:
    void SetUp() override {
        ConvertWorld::SetUp();
        source = Root() / "src" / "stripes.bmp";
        WriteColourBmp(source, 40, 30, {0x336699, 0xCCAA00, 0x10E020, 0xF0F0F0, 0x800000});
        settings.nOuptputFormat = FormatBmp;
        settings.iComboPixelFormat = 2;  // 8 bits indexed
        settings.nOuputSizeType = SizeOriginal;
        settings.nOutputWidth = 40;
        settings.nOutputHeight = 30;
    }
    fs::path source;
    OutputSettings settings;
};

TEST_F(IndexedOutputFailureTest, NoMemoryForTheReductionFailsThePhotoWithAMessage) {
    PhotoRecord photo = Added(source, settings, out / "stripes.bmp");
    WindowConversionHost host(*model);
    PhotoConverter converter(host, (Root() / "tmp").string() + "/");
    ConversionOutcome outcome;
    {
        const LargeAllocationsFail noMemory;
        outcome = converter.ConvertPhoto(photo);
    }
    EXPECT_EQ(outcome.kind, OutcomeKind::Failed);
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "Failed to convert phhoto color!");
    EXPECT_EQ(port.Messages()[0].caption, GetText(IDS_ERROR));
    EXPECT_TRUE(FilesIn(out).empty());  // no 24-bit picture under the indexed name

    // With the memory back the same photo converts to 8 bits.
    port.ClearMessages();
    EXPECT_EQ(converter.ConvertPhoto(photo).kind, OutcomeKind::Converted);
    EXPECT_TRUE(port.Messages().empty());
    const std::string bytes = ReadFile(out / "stripes.bmp");
    ASSERT_GT(bytes.size(), 29u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[28]), 8);
}

TEST_F(IndexedOutputFailureTest, AnOutputThatCannotBeWrittenIsReportedLikeEveryOtherSave) {
    for (const int32_t code : {0, 1, 2}) {
        settings.iComboPixelFormat = code;
        const fs::path target = out / "no such folder" / "stripes.bmp";
        PhotoRecord photo = Added(source, settings, target);
        WindowConversionHost host(*model);
        PhotoConverter converter(host, (Root() / "tmp").string() + "/");
        port.ClearMessages();
        EXPECT_EQ(converter.ConvertPhoto(photo).kind, OutcomeKind::Failed) << code;
        ASSERT_EQ(port.Messages().size(), 1u) << code;
        EXPECT_EQ(port.Messages()[0].text, GetText(IDS_SAVE_FAILED));
        EXPECT_EQ(port.Messages()[0].caption, target.string());
        EXPECT_TRUE(FilesIn(Root() / "tmp").empty());  // the temporary BMP is gone too
    }
}

}  // namespace
}  // namespace tallowin::test
