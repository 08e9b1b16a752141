// The decoder pool and its helper processes: every test file decodes through a helper
// exactly as in this process, and a decoder that crashes, hangs, allocates without
// bound or reaches for files, the network or other programs costs one request only.

#include "decoder.h"
#include "decoder_test_support.h"
#include "decoder_pool.h"
#include "process_list.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

using codec::DecodeRequest;
using codec::DecodeStatus;
using codec::DecodeLimits;
using codec::DecodedPixels;
using codec::ImageInfo;
using codec::Raster;
using codec::sandbox::DecoderPool;
using codec::sandbox::PixelDelivery;
using codec::sandbox::PoolOptions;

PoolOptions TestHelper(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    PoolOptions options;
    options.helperPath = (BinDir() / "tallowin-decoder-test").string();
    options.size = 2;
    options.timeout = timeout;
    options.memoryMiB = 512;
    return options;
}

class DecoderPoolTest : public TestWorld {
protected:
    // A file the sniffer takes for a bitmap and the test helper for `word`.
    std::string Misbehaving(const std::string& word) const {
        std::string bytes = "BMTALLOWIN-TEST:" + word;
        bytes.resize(64, ' ');
        return WriteFile(word + ".bmp", bytes).string();
    }
    static std::string Good() { return (DataDir() / "pngsuite" / "basn6a08.png").string(); }
    // A JPEG photo, and in `expected` its pixels decoded in this process.
    static std::string Photo(Raster& expected) {
        const std::string jpeg = (DataDir() / "libjpeg-turbo" / "testorig.jpg").string();
        std::string warning;
        EXPECT_EQ(codec::DecodePixels(Format("jpeg"), jpeg, {}, {}, expected, warning), DecodeStatus::Ok);
        return jpeg;
    }
    // One helper, the photo helper itself.
    static PoolOptions OneQuickHelper() {
        PoolOptions options = TestHelper();
        options.helperPath = (BinDir() / "tallowin-decoder").string();
        options.size = 1;
        return options;
    }
    static std::string BytesOf(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The good file decodes through `pool` exactly as in this process.
    static void ExpectGoodDecode(DecoderPool& pool) {
        Raster expected;
        std::string expectedWarning;
        ASSERT_EQ(codec::DecodePixels(Format("png"), Good(), {}, DecodeLimits{}, expected, expectedWarning), DecodeStatus::Ok);
        Raster raster;
        std::string warning;
        ASSERT_EQ(pool.DecodePixels(Format("png"), Good(), {}, {}, raster, warning), DecodeStatus::Ok);
        EXPECT_EQ(raster.width, expected.width);
        EXPECT_EQ(raster.height, expected.height);
        EXPECT_TRUE(raster.pixels == expected.pixels);
    }
};

TEST_F(DecoderPoolTest, ACrashFailsThatRequestAndTheNextOneWorks) {
    DecoderPool pool(TestHelper());
    const std::string crash = Misbehaving("CRASH");
    Raster raster;
    std::string warning;
    EXPECT_EQ(pool.DecodePixels(Format("bmp"), crash, {}, {}, raster, warning), DecodeStatus::Stopped);
    EXPECT_TRUE(raster.pixels.empty());
    ImageInfo info;
    EXPECT_EQ(pool.ReadHeader(Format("bmp"), crash, {}, info), DecodeStatus::Stopped);
    EXPECT_EQ(info.width, 0);
    // Both helpers have been replaced by now, and more crashes than helpers change nothing.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pool.DecodePixels(Format("bmp"), crash, {}, {}, raster, warning), DecodeStatus::Stopped);
        ExpectGoodDecode(pool);
    }
}

TEST_F(DecoderPoolTest, AHelperThatEndedWhileIdleIsReplacedWithoutFailingThePhoto) {
    PoolOptions options = TestHelper();
    options.size = 1;
    DecoderPool pool(options);
    ExpectGoodDecode(pool);
    const std::vector<pid_t> helpers = ChildrenNamed(getpid(), "tallowin-decoder-test");
    ASSERT_EQ(helpers.size(), 1u);
    ASSERT_EQ(kill(helpers[0], SIGKILL), 0);
    const auto start = std::chrono::steady_clock::now();
    while (!ChildrenNamed(getpid(), "tallowin-decoder-test").empty() &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ExpectGoodDecode(pool);
}

// Helpers started ahead serve the first requests; none is started beyond those alive
// or the pool's size; ending the idle helpers leaves no process behind.
TEST_F(DecoderPoolTest, HelpersStartedAheadServeTheFirstRequestsAndEndingLeavesNone) {
    PoolOptions options = TestHelper();
    options.size = 2;
    DecoderPool pool(options);
    pool.StartHelpers();
    ASSERT_EQ(ChildrenNamed(getpid(), "tallowin-decoder-test").size(), 1u);
    pool.StartHelpers(3);
    const std::vector<pid_t> started = ChildrenNamed(getpid(), "tallowin-decoder-test");
    ASSERT_EQ(started.size(), 2u);
    ExpectGoodDecode(pool);
    pool.StartHelpers(2);
    EXPECT_EQ(ChildrenNamed(getpid(), "tallowin-decoder-test"), started);
    pool.EndIdleHelpers();
    EXPECT_TRUE(ChildrenNamed(getpid(), "tallowin-decoder-test").empty());
    ExpectGoodDecode(pool);  // a new helper
}

TEST_F(DecoderPoolTest, PixelsLargerThanTheFileSizeLimitStillArrive) {
    const std::string jpeg = (DataDir() / "libjpeg-turbo" / "testorig.jpg").string();
    Raster expected;
    std::string expectedWarning;
    ASSERT_EQ(codec::DecodePixels(Format("jpeg"), jpeg, {}, DecodeLimits{}, expected, expectedWarning), DecodeStatus::Ok);
    ASSERT_GT(expected.pixels.size(), 100'000u);
    for (const PixelDelivery delivery :
         {PixelDelivery::PixelFile, PixelDelivery::KeptInHelper, PixelDelivery::SharedWindow}) {
        SCOPED_TRACE(static_cast<int>(delivery));
        PoolOptions options = TestHelper();
        options.size = 1;
        options.delivery = delivery;
        DecoderPool pool(options);
        // The helper starts under a 16 KiB file size limit (ulimit -f 16), which no pixel
        // file of this photo fits: they follow the reply, or never needed a file.
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 16 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        Raster raster;
        std::string warning;
        const DecodeStatus status = pool.DecodePixels(Format("jpeg"), jpeg, {}, {}, raster, warning);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_EQ(status, DecodeStatus::Ok);
        EXPECT_EQ(raster.width, expected.width);
        EXPECT_TRUE(raster.pixels == expected.pixels);
        ExpectGoodDecode(pool);
    }
}

// Decodes `jpeg` through `pool` whole and reduced, checks the pixels against a decode in
// this process, and that they are this process's to change.
void ExpectPixelsOwned(DecoderPool& pool, const std::string& jpeg) {
    Raster expected;
    std::string expectedWarning;
    ASSERT_EQ(codec::DecodePixels(Format("jpeg"), jpeg, {}, {}, expected, expectedWarning), DecodeStatus::Ok);
    for (const DecodeRequest request : {DecodeRequest{}, DecodeRequest{40, 30}}) {
        DecodedPixels decoded;
        std::string warning;
        ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, request, {}, decoded, warning), DecodeStatus::Ok);
        ASSERT_TRUE(decoded.mapped);  // held apart, not copied into the raster
        EXPECT_TRUE(decoded.raster.pixels.empty());
        ASSERT_EQ(decoded.Size(), static_cast<size_t>(decoded.raster.width) * decoded.raster.height * 4);
        if (request.minWidth == 0) {
            ASSERT_EQ(decoded.Size(), expected.pixels.size());
            EXPECT_EQ(std::memcmp(decoded.Data(), expected.pixels.data(), decoded.Size()), 0);
        } else {
            EXPECT_LT(decoded.raster.width, expected.width);  // reduced in the helper
            EXPECT_GE(decoded.raster.width, 40);
        }
        std::memset(decoded.Data(), 0x5a, decoded.Size());
        EXPECT_EQ(decoded.Data()[decoded.Size() - 1], 0x5a);
    }
}

// Every way over, and through a pixel window too small for the whole picture (which
// then stays in the helper until copied, while the reduced one fits the window).
TEST_F(DecoderPoolTest, PixelsComeOverEveryWayAndAreThisProcesssToChange) {
    const std::string jpeg = (DataDir() / "libjpeg-turbo" / "testorig.jpg").string();
    struct Way {
        PixelDelivery delivery;
        size_t windowBytes;
    };
    for (const Way way : {Way{PixelDelivery::SharedWindow, size_t{32} << 20}, Way{PixelDelivery::SharedWindow, 64 * 1024},
                          Way{PixelDelivery::KeptInHelper, 0}, Way{PixelDelivery::PixelFile, 0}}) {
        SCOPED_TRACE(static_cast<int>(way.delivery));
        SCOPED_TRACE(way.windowBytes);
        PoolOptions options = TestHelper();
        options.delivery = way.delivery;
        options.pixelWindowBytes = way.windowBytes;
        DecoderPool pool(options);
        ExpectPixelsOwned(pool, jpeg);
        ExpectGoodDecode(pool);
    }
}

// Where the system refuses to let the program read its helpers' memory (a ptrace
// policy, a container's system call filter), the kept pixels come as a pixel file.
// A child process stands for such a system: a filter refuses it process_vm_readv.
TEST_F(DecoderPoolTest, WhereReadingAHelpersMemoryIsRefusedThePixelsComeAsAFile) {
    const std::string jpeg = (DataDir() / "libjpeg-turbo" / "testorig.jpg").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
        const bool refused = filter != nullptr &&
                             seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(process_vm_readv), 0) == 0 &&
                             seccomp_load(filter) == 0;
        if (!refused) _exit(3);
        DecoderPool pool(TestHelper());
        ExpectPixelsOwned(pool, jpeg);
        ExpectGoodDecode(pool);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a check failed in the child; 3: no filter";
}

TEST_F(DecoderPoolTest, AHangFailsAfterTheTimeLimit) {
    DecoderPool pool(TestHelper(std::chrono::milliseconds(1500)));
    const auto start = std::chrono::steady_clock::now();
    ImageInfo info;
    EXPECT_EQ(pool.ReadHeader(Format("bmp"), Misbehaving("HANG"), {}, info), DecodeStatus::Stopped);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1500));
    EXPECT_LT(took, std::chrono::seconds(20));
    ExpectGoodDecode(pool);
}

TEST_F(DecoderPoolTest, UnboundedAllocationFailsWithinTheMemoryLimit) {
    DecoderPool pool(TestHelper());
    Raster raster;
    std::string warning;
    const DecodeStatus status = pool.DecodePixels(Format("bmp"), Misbehaving("HOG"), {}, {}, raster, warning);
    // Either the allocation fails and is reported, or the allocator ends the helper.
    EXPECT_TRUE(status == DecodeStatus::OutOfMemory || status == DecodeStatus::Stopped)
        << static_cast<int>(status) << " " << warning;
    ExpectGoodDecode(pool);
}

TEST_F(DecoderPoolTest, TheHelperCannotOpenAnotherFile) {
    DecoderPool pool(TestHelper());
    Raster raster;
    std::string warning;
    ASSERT_EQ(pool.DecodePixels(Format("bmp"), Misbehaving("OPEN"), {}, {}, raster, warning), DecodeStatus::Partial);
    EXPECT_EQ(warning, "open /etc/passwd: Operation not permitted; fopen /etc/passwd: Operation not permitted");
    // A metafile helper reads fonts, but still writes nothing.
    const std::string wmf = Misbehaving("WRITE");
    ASSERT_EQ(pool.DecodePixels(Format("wmf"), wmf, {}, {}, raster, warning), DecodeStatus::Partial);
    EXPECT_EQ(warning, "create: Operation not permitted");
    EXPECT_FALSE(fs::exists(Path("tmp") / "written-by-helper"));
    // And it reads nothing outside the font folders, where the kernel can limit that.
    if (syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) <= 0) {
        GTEST_SKIP() << "no Landlock in this kernel";
    }
    ASSERT_EQ(pool.DecodePixels(Format("wmf"), Misbehaving("OPEN"), {}, {}, raster, warning), DecodeStatus::Partial);
    EXPECT_EQ(warning, "open /etc/passwd: Permission denied; fopen /etc/passwd: Permission denied");
}

TEST_F(DecoderPoolTest, NetworkProgramsAndProcessesEndTheHelper) {
    DecoderPool pool(TestHelper());
    for (const char* word : {"SOCKET", "EXEC", "FORK"}) {
        Raster raster;
        std::string warning;
        EXPECT_EQ(pool.DecodePixels(Format("bmp"), Misbehaving(word), {}, {}, raster, warning), DecodeStatus::Stopped)
            << word << ": " << warning;
    }
    ExpectGoodDecode(pool);
}

// The caller's limits reach the helper's decoders; a helper applying its own defaults
// would decode these.
TEST_F(DecoderPoolTest, TheCallersLimitsApplyInTheHelper) {
    DecoderPool pool(TestHelper());
    DecodeLimits narrow;
    narrow.maxSide = 31;  // the good file is 32 x 32
    DecodeLimits few;
    few.maxPixels = 32 * 32 - 1;
    for (const DecodeLimits& limits : {narrow, few}) {
        ImageInfo info;
        EXPECT_EQ(pool.ReadHeader(Format("png"), Good(), limits, info), DecodeStatus::OverLimit);
        Raster raster;
        std::string warning;
        EXPECT_EQ(pool.DecodePixels(Format("png"), Good(), {}, limits, raster, warning), DecodeStatus::OverLimit);
        EXPECT_TRUE(raster.pixels.empty());
    }
    ExpectGoodDecode(pool);
}

// Only the registered adapters travel to a helper (by name, so an impostor must be refused here).
TEST_F(DecoderPoolTest, AnAdapterOutsideTheListIsRefused) {
    class Stranger final : public codec::Decoder {
    public:
        const char* Name() const override { return "png"; }
        codec::SniffMatch Sniff(const uint8_t*, size_t) const override { return codec::SniffMatch::No; }
        DecodeStatus ReadHeader(const std::string&, const DecodeLimits&, ImageInfo&) const override {
            return DecodeStatus::Ok;
        }
        DecodeStatus Decode(const std::string&, const DecodeRequest&, const DecodeLimits&, Raster&,
                            std::string&) const override {
            return DecodeStatus::Ok;
        }
    } stranger;
    DecoderPool pool(TestHelper());
    ImageInfo info;
    EXPECT_EQ(pool.ReadHeader(stranger, Good(), {}, info), DecodeStatus::NotAnImage);
    Raster raster;
    std::string warning;
    EXPECT_EQ(pool.DecodePixels(stranger, Good(), {}, {}, raster, warning), DecodeStatus::NotAnImage);
}

TEST_F(DecoderPoolTest, AMissingFileIsAFileErrorAndNoHelperIsNeeded) {
    PoolOptions options = TestHelper();
    options.helperPath = Path("no-such-helper").string();
    DecoderPool pool(options);
    ImageInfo info;
    EXPECT_EQ(pool.ReadHeader(Format("png"), Path("missing.png").string(), {}, info), DecodeStatus::FileError);
    // A helper that cannot be started fails the photo, not the program.
    EXPECT_EQ(pool.ReadHeader(Format("png"), Good(), {}, info), DecodeStatus::Stopped);
}

TEST_F(DecoderPoolTest, ParallelCallersShareTheHelpersWhileOthersCrash) {
    DecoderPool pool(TestHelper());
    const std::string crash = Misbehaving("CRASH");
    Raster expected;
    std::string ignored;
    ASSERT_EQ(codec::DecodePixels(Format("png"), Good(), {}, DecodeLimits{}, expected, ignored), DecodeStatus::Ok);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 6; ++i) {
                Raster raster;
                std::string warning;
                if (t == 0) {
                    if (pool.DecodePixels(Format("bmp"), crash, {}, {}, raster, warning) != DecodeStatus::Stopped) {
                        ++wrong;
                    }
                } else if (pool.DecodePixels(Format("png"), Good(), {}, {}, raster, warning) != DecodeStatus::Ok ||
                           raster.pixels != expected.pixels) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Whether process `pid` has a file whose name contains `part` mapped.
bool Maps(pid_t pid, const std::string& part) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(part) != std::string::npos) return true;
    return false;
}

// Photos go to a helper that loads neither Qt nor libheif and libjxl, so that it
// starts quickly; HEIF and JPEG XL to the helper that loads those, metafiles to the one
// that draws with Qt. Each program has its own slots: a pool of one keeps all three,
// so a photo after a HEIF file finds its helper still there. A photo helper asked for
// metafiles refuses to start.
TEST_F(DecoderPoolTest, PhotosGoToAQuickHelperAndHeifJxlAndMetafilesToTheirOwn) {
    PoolOptions options = TestHelper();
    options.size = 1;
    options.helperPath = (BinDir() / "tallowin-decoder").string();
    options.heifJxlHelperPath = (BinDir() / "tallowin-heif-jxl-decoder").string();
    options.metafileHelperPath = (BinDir() / "tallowin-metafile-decoder").string();
    DecoderPool pool(options);
    ExpectGoodDecode(pool);
    Raster raster;
    std::string warning;
    for (const auto& [format, file] : {std::pair{"wmf", DataDir() / "libwmf" / "ant.wmf"},
                                       std::pair{"heif", DataDir() / "generated" / "formats" / "photo.heic"},
                                       std::pair{"jxl", DataDir() / "generated" / "formats" / "photo.jxl"}}) {
        SCOPED_TRACE(format);
        const DecodeStatus status = pool.DecodePixels(Format(format), file.string(), {}, {}, raster, warning);
        ASSERT_TRUE(status == DecodeStatus::Ok || status == DecodeStatus::Partial) << static_cast<int>(status);
        EXPECT_GT(raster.width, 0);
    }
    const std::vector<pid_t> photo = ChildrenNamed(getpid(), "tallowin-decoder");
    const std::vector<pid_t> heifJxl = ChildrenNamed(getpid(), "tallowin-heif-jxl-decoder");
    const std::vector<pid_t> metafile = ChildrenNamed(getpid(), "tallowin-metafile-decoder");
    ASSERT_EQ(photo.size(), 1u);
    ASSERT_EQ(heifJxl.size(), 1u);
    ASSERT_EQ(metafile.size(), 1u);
    EXPECT_TRUE(Maps(photo[0], "libjpeg"));
    for (const char* library : {"libQt6", "libheif", "libjxl", "libhwy", "libde265"}) {
        EXPECT_FALSE(Maps(photo[0], library)) << library;
    }
    EXPECT_TRUE(Maps(heifJxl[0], "libheif"));
    EXPECT_TRUE(Maps(heifJxl[0], "libjxl"));
    EXPECT_FALSE(Maps(heifJxl[0], "libQt6"));
    EXPECT_TRUE(Maps(metafile[0], "libQt6Gui"));
    ExpectGoodDecode(pool);
    EXPECT_EQ(ChildrenNamed(getpid(), "tallowin-decoder"), photo);

    options.metafileHelperPath.clear();
    DecoderPool photosOnly(options);
    const std::string wmf = (DataDir() / "libwmf" / "ant.wmf").string();
    EXPECT_EQ(photosOnly.DecodePixels(Format("wmf"), wmf, {}, {}, raster, warning), DecodeStatus::Stopped);
    ExpectGoodDecode(photosOnly);
}

// Photo information comes back from the photo helper as this process reads it, for
// every kind of source: exiv2's formats, HEIF, JPEG XL and JPEG XR. A reply that is not
// a sound packing is refused.
TEST_F(DecoderPoolTest, PhotoInformationComesFromTheHelperAsInProcess) {
    PoolOptions options = TestHelper();
    options.helperPath = (BinDir() / "tallowin-decoder").string();
    options.heifJxlHelperPath = (BinDir() / "tallowin-heif-jxl-decoder").string();
    DecoderPool pool(options);
    using metadata::detail::ContainerKind;
    const fs::path info = DataDir() / "generated" / "photo-info";
    const fs::path formats = DataDir() / "generated" / "formats";
    struct Source {
        fs::path path;
        const char* format;
        ContainerKind kind;
        bool hasExif;
    };
    for (const Source& source :
         {Source{info / "camera.jpg", "jpeg", ContainerKind::Other, true},
          Source{DataDir() / "exif-orientation" / "Landscape_6.jpg", "jpeg", ContainerKind::Other, true},
          Source{formats / "rotated.webp", "webp", ContainerKind::Other, true},
          Source{formats / "raw-rotated.dng", "raw", ContainerKind::Other, true},
          Source{DataDir() / "libtiff" / "rgb-3c-8b.tiff", "tiff", ContainerKind::Other, true},
          Source{DataDir() / "pngsuite" / "basn6a08.png", "png", ContainerKind::Other, false},
          Source{info / "camera.heic", "heif", ContainerKind::Heif, true},
          Source{info / "camera.avif", "heif", ContainerKind::Heif, true},
          Source{info / "camera.jxl", "jxl", ContainerKind::Jxl, true},
          Source{DataDir() / "jxrlib-glencoe" / "blue.jxr", "jxr", ContainerKind::Jxr, false}}) {
        SCOPED_TRACE(source.path.string());
        const std::string path = source.path.string();
        const metadata::MetadataRead here = metadata::detail::ReadSourceMetadataHere(source.kind, path);
        EXPECT_EQ(here.metadata.exif.empty(), !source.hasExif);
        metadata::MetadataRead helper;
        ASSERT_EQ(pool.ReadInformation(Format(source.format), path, helper), DecodeStatus::Ok);
        EXPECT_EQ(helper.result.status, here.result.status);
        EXPECT_EQ(helper.result.reason, here.result.reason);
        EXPECT_EQ(helper.metadata.exif, here.metadata.exif);
        EXPECT_EQ(helper.metadata.xmp, here.metadata.xmp);
        EXPECT_EQ(helper.metadata.iptc, here.metadata.iptc);
        EXPECT_EQ(helper.metadata.icc, here.metadata.icc);
    }
    const fs::path folder = info;

    // Lengths that run past the end or over the bounds, and trailing bytes.
    const metadata::MetadataRead here =
        metadata::detail::ReadSourceMetadataHere(metadata::detail::ContainerKind::Heif, (folder / "camera.heic").string());
    std::vector<uint8_t> packed = metadata::detail::PackMetadataRead(here);
    metadata::MetadataRead unpacked;
    ASSERT_TRUE(metadata::detail::UnpackMetadataRead(packed.data(), packed.size(), unpacked));
    EXPECT_EQ(unpacked.metadata.exif, here.metadata.exif);
    EXPECT_FALSE(metadata::detail::UnpackMetadataRead(packed.data(), packed.size() - 1, unpacked));
    packed.push_back(0);
    EXPECT_FALSE(metadata::detail::UnpackMetadataRead(packed.data(), packed.size(), unpacked));
    packed.pop_back();
    for (const size_t at : {size_t(0), size_t(4), size_t(8) + here.result.reason.size()}) {
        std::vector<uint8_t> lying = packed;
        lying[at + 3] = 0xFF;  // a length near 4 GiB
        EXPECT_FALSE(metadata::detail::UnpackMetadataRead(lying.data(), lying.size(), unpacked)) << at;
    }
    EXPECT_EQ(unpacked.metadata.exif, here.metadata.exif);  // untouched by the refusals
}

// Status field `name` of process `pid` in KiB (/proc/PID/status), or -1.
long StatusKiB(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
    return -1;
}

// Pixels asked for resampling only are lent straight from the helper's window. While
// they are, the helper's next pictures come over another way and leave them as they
// were, also when the helper then crashes; freed, the window lends again. Requests that
// may use their pixels otherwise always get pixels of their own.
TEST_F(DecoderPoolTest, LentPixelsStayAsDecodedWhileTheHelperGoesOn) {
    PoolOptions options = TestHelper();
    options.size = 1;
    DecoderPool pool(options);
    Raster expected;
    const std::string jpeg = Photo(expected);
    std::string warning;
    const auto asDecoded = [&expected](DecodedPixels& decoded) {
        return decoded.Size() == expected.pixels.size() &&
               std::memcmp(decoded.Data(), expected.pixels.data(), decoded.Size()) == 0;
    };
    DecodeRequest resampling;
    resampling.forResamplingOnly = true;
    DecodedPixels first;
    ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, resampling, {}, first, warning), DecodeStatus::Ok);
    EXPECT_TRUE(first.lent);
    EXPECT_TRUE(asDecoded(first));

    ExpectGoodDecode(pool);
    DecodedPixels second;
    ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, resampling, {}, second, warning), DecodeStatus::Ok);
    EXPECT_FALSE(second.lent);
    EXPECT_TRUE(asDecoded(second));
    EXPECT_TRUE(asDecoded(first));

    EXPECT_EQ(pool.DecodePixels(Format("bmp"), Misbehaving("CRASH"), {}, {}, second, warning), DecodeStatus::Stopped);
    EXPECT_TRUE(asDecoded(first));  // the window outlives its helper while lent
    first = DecodedPixels{};

    DecodedPixels lent;
    ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, resampling, {}, lent, warning), DecodeStatus::Ok);
    EXPECT_TRUE(lent.lent);
    lent = DecodedPixels{};
    ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, resampling, {}, lent, warning), DecodeStatus::Ok);
    EXPECT_TRUE(lent.lent);
    DecodedPixels owned;
    ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, {}, {}, owned, warning), DecodeStatus::Ok);
    EXPECT_FALSE(owned.lent);
    lent = DecodedPixels{};
    ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, {}, {}, owned, warning), DecodeStatus::Ok);
    EXPECT_FALSE(owned.lent);
    EXPECT_TRUE(asDecoded(owned));
}

// A helper keeps its pixel window's pages for the next photo, and gives them back once
// it has been idle a while and the pool is done with them: at once when it copied the
// pixels, and while it lends them, however long, only after they are freed.
TEST_F(DecoderPoolTest, AnIdleHelperGivesItsPixelWindowBackOnceThePoolIsDoneWithIt) {
    DecoderPool pool(OneQuickHelper());
    Raster expected;
    const std::string jpeg = Photo(expected);
    std::string warning;
    Raster raster;
    ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, {}, {}, raster, warning), DecodeStatus::Ok);
    EXPECT_TRUE(raster.pixels == expected.pixels);
    const std::vector<pid_t> helper = ChildrenNamed(getpid(), "tallowin-decoder");
    ASSERT_EQ(helper.size(), 1u);
    const long pixelsKiB = static_cast<long>(expected.pixels.size() / 1024);
    EXPECT_GE(StatusKiB(helper[0], "RssShmem"), pixelsKiB);
    std::this_thread::sleep_for(std::chrono::milliseconds(3800));
    EXPECT_LT(StatusKiB(helper[0], "RssShmem"), pixelsKiB / 2);

    DecodeRequest resampling;
    resampling.forResamplingOnly = true;
    DecodedPixels lent;
    ASSERT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, resampling, {}, lent, warning), DecodeStatus::Ok);
    ASSERT_TRUE(lent.lent);
    std::this_thread::sleep_for(std::chrono::milliseconds(3800));
    EXPECT_GE(StatusKiB(helper[0], "RssShmem"), pixelsKiB);
    ASSERT_EQ(lent.Size(), expected.pixels.size());
    EXPECT_EQ(std::memcmp(lent.Data(), expected.pixels.data(), lent.Size()), 0);
    lent = DecodedPixels{};
    std::this_thread::sleep_for(std::chrono::milliseconds(3800));
    EXPECT_LT(StatusKiB(helper[0], "RssShmem"), pixelsKiB / 2);
}

// For each request the helper is moved to the CPU of the thread that asks, and that
// thread, kept there while it waits, can run everywhere it could before once the
// request is done. A worker left on one CPU would stay there for the rest of a run.
TEST_F(DecoderPoolTest, TheHelperJoinsTheAskingThreadsCpuAndTheThreadIsFreedAfter) {
    cpu_set_t before;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one CPU only";
    const std::string jpeg = (DataDir() / "libjpeg-turbo" / "testorig.jpg").string();
    const auto helperCpus = [&jpeg](bool shareCpu) {
        PoolOptions options = TestHelper();
        options.helperPath = (BinDir() / "tallowin-decoder").string();
        options.size = 1;
        options.shareCpu = shareCpu;
        DecoderPool pool(options);
        Raster raster;
        std::string warning;
        EXPECT_EQ(pool.DecodePixels(Format("jpeg"), jpeg, {}, {}, raster, warning), DecodeStatus::Ok);
        cpu_set_t after;
        EXPECT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
        const std::vector<pid_t> helper = ChildrenNamed(getpid(), "tallowin-decoder");
        cpu_set_t helperSet;
        CPU_ZERO(&helperSet);
        EXPECT_EQ(helper.size(), 1u);
        if (helper.size() == 1) {
            EXPECT_EQ(sched_getaffinity(helper[0], sizeof helperSet, &helperSet), 0);
        }
        return std::make_pair(after, CPU_COUNT(&helperSet));
    };
    const auto [shared, sharedHelperCpus] = helperCpus(true);
    EXPECT_TRUE(CPU_EQUAL(&shared, &before));
    EXPECT_EQ(sharedHelperCpus, 1);
    const auto [apart, apartHelperCpus] = helperCpus(false);
    EXPECT_TRUE(CPU_EQUAL(&apart, &before));
    EXPECT_EQ(apartHelperCpus, CPU_COUNT(&before));
}

// Two requests from one CPU: the second finds the CPU held and its helper runs
// wherever the thread may (two helpers held on one CPU would take turns there); a
// helper held before is let go then.
TEST_F(DecoderPoolTest, OnePairAtATimeHoldsACpu) {
    cpu_set_t before;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one CPU only";
    const auto sleeper = [] {
        const pid_t child = fork();
        if (child == 0) {
            pause();
            _exit(0);
        }
        return child;
    };
    const auto cpus = [](pid_t pid) {
        cpu_set_t set;
        CPU_ZERO(&set);
        EXPECT_EQ(sched_getaffinity(pid, sizeof set, &set), 0);
        return CPU_COUNT(&set);
    };
    const pid_t first = sleeper();
    const pid_t second = sleeper();
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    codec::sandbox::CpuClaims claims;
    int firstCpu = -1;
    int secondCpu = -1;
    {
        codec::sandbox::SharedCpu held(claims, second, secondCpu);  // held on some CPU
        EXPECT_EQ(cpus(second), 1);
    }
    {
        codec::sandbox::SharedCpu held(claims, first, firstCpu);
        EXPECT_EQ(cpus(0), 1);
        EXPECT_EQ(cpus(first), 1);
        EXPECT_EQ(firstCpu, sched_getcpu());
        codec::sandbox::SharedCpu refused(claims, second, secondCpu);
        EXPECT_EQ(secondCpu, -1);
        EXPECT_EQ(cpus(second), CPU_COUNT(&before));
    }
    EXPECT_EQ(cpus(0), CPU_COUNT(&before));
    {
        codec::sandbox::SharedCpu freed(claims, second, secondCpu);  // the CPU is free again
        EXPECT_EQ(cpus(second), 1);
    }
    for (const pid_t child : {first, second}) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

// A photo's header is read when it is added and again when it is opened: the second
// read of an unchanged file needs no helper, and a file rewritten in place is read again.
TEST_F(DecoderPoolTest, AHeaderIsReadOnceWhileItsFileIsUnchanged) {
    PoolOptions options = TestHelper();
    options.helperPath = (BinDir() / "tallowin-decoder").string();
    DecoderPool pool(options);
    const fs::path photo = WriteFile("photo.png", BytesOf(DataDir() / "pngsuite" / "basn6a08.png"));
    ImageInfo first;
    ASSERT_EQ(pool.ReadHeader(Format("png"), photo.string(), {}, first), DecodeStatus::Ok);
    pool.EndIdleHelpers();
    ImageInfo again;
    ASSERT_EQ(pool.ReadHeader(Format("png"), photo.string(), {}, again), DecodeStatus::Ok);
    EXPECT_TRUE(ChildrenNamed(getpid(), "tallowin-decoder").empty());
    EXPECT_EQ(again.width, first.width);
    EXPECT_EQ(again.height, first.height);
    EXPECT_EQ(again.hasAlpha, first.hasAlpha);
    // Other limits are another read.
    DecodeLimits small;
    small.maxSide = first.width - 1;
    EXPECT_EQ(pool.ReadHeader(Format("png"), photo.string(), small, again), DecodeStatus::OverLimit);
    {
        std::ofstream rewrite(photo, std::ios::binary | std::ios::trunc);  // the same file, another picture
        rewrite << BytesOf(DataDir() / "pngsuite" / "basn2c08.png");
    }
    ImageInfo rewritten;
    ASSERT_EQ(pool.ReadHeader(Format("png"), photo.string(), {}, rewritten), DecodeStatus::Ok);
    EXPECT_FALSE(rewritten.hasAlpha);
}

// A helper keeps the last file's information for the requests about it that follow;
// a file rewritten in place since is read again.
TEST_F(DecoderPoolTest, InformationOfAFileRewrittenInPlaceIsReadAgain) {
    PoolOptions options = TestHelper();
    options.helperPath = (BinDir() / "tallowin-decoder").string();
    options.heifJxlHelperPath = (BinDir() / "tallowin-heif-jxl-decoder").string();
    options.size = 1;
    DecoderPool pool(options);
    const fs::path photo = WriteFile("photo.jpg", BytesOf(DataDir() / "generated" / "photo-info" / "camera.jpg"));
    metadata::MetadataRead first;
    ASSERT_EQ(pool.ReadInformation(Format("jpeg"), photo.string(), first), DecodeStatus::Ok);
    ASSERT_FALSE(first.metadata.icc.empty());
    {
        std::ofstream rewrite(photo, std::ios::binary | std::ios::trunc);  // the same file, new content
        rewrite << BytesOf(DataDir() / "exif-orientation" / "Landscape_6.jpg");
    }
    const metadata::MetadataRead expected =
        metadata::detail::ReadSourceMetadataHere(metadata::detail::ContainerKind::Other, photo.string());
    metadata::MetadataRead second;
    ASSERT_EQ(pool.ReadInformation(Format("jpeg"), photo.string(), second), DecodeStatus::Ok);
    EXPECT_EQ(second.metadata.icc, expected.metadata.icc);
    EXPECT_EQ(second.metadata.exif, expected.metadata.exif);
    EXPECT_NE(second.metadata.exif, first.metadata.exif);
}

// Every test file: the same header, status, warning and pixels through the shipped
// helper as in this process, at full size and reduced.
TEST_F(DecoderPoolTest, EveryTestFileDecodesThroughTheHelperAsInProcess) {
    PoolOptions options = TestHelper();
    options.helperPath = (BinDir() / "tallowin-decoder").string();
    options.heifJxlHelperPath = (BinDir() / "tallowin-heif-jxl-decoder").string();
    options.metafileHelperPath = (BinDir() / "tallowin-metafile-decoder").string();
    options.memoryMiB = 4096;
    DecoderPool pool(options);
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(DataDir())) {
        if (!entry.is_regular_file() || entry.file_size() > (8u << 20)) continue;
        const std::string path = entry.path().string();
        const codec::Decoder* format = nullptr;
        if (codec::SniffFile(path, format) != DecodeStatus::Ok) continue;
        SCOPED_TRACE(path);
        ImageInfo expectedInfo;
        ImageInfo info;
        const DecodeStatus expectedHeader = codec::ReadHeader(*format, path, DecodeLimits{}, expectedInfo);
        EXPECT_EQ(pool.ReadHeader(*format, path, {}, info), expectedHeader);
        EXPECT_EQ(info.width, expectedInfo.width);
        EXPECT_EQ(info.height, expectedInfo.height);
        EXPECT_EQ(info.dpiX, expectedInfo.dpiX);
        EXPECT_EQ(info.dpiY, expectedInfo.dpiY);
        EXPECT_EQ(info.hasAlpha, expectedInfo.hasAlpha);
        for (const DecodeRequest request : {DecodeRequest{}, DecodeRequest{16, 16}}) {
            Raster expected;
            Raster raster;
            std::string expectedWarning;
            std::string warning;
            const DecodeStatus status = codec::DecodePixels(*format, path, request, DecodeLimits{}, expected, expectedWarning);
            const DecodeStatus got = pool.DecodePixels(*format, path, request, {}, raster, warning);
            // A file that crashes libjxr ends the helper, where libjxr decodes in place;
            // in this process libjxr's own child process died instead and the file was refused.
            if (got == DecodeStatus::Stopped && status == DecodeStatus::NotAnImage &&
                std::string(format->Name()) == "jxr") {
                continue;
            }
            EXPECT_EQ(got, status);
            EXPECT_EQ(warning, expectedWarning);
            EXPECT_EQ(raster.width, expected.width);
            EXPECT_EQ(raster.height, expected.height);
            EXPECT_TRUE(raster.pixels == expected.pixels);
        }
        ++compared;
    }
    EXPECT_GT(compared, 200);
}

}  // namespace
}  // namespace tallowin::test
