// Metafiles are hostile input: text records that break out of the SVG the libraries
// write must never make the renderer read another file, and the SVG pass that keeps
// them out leaves ordinary drawings alone.
#include "decoder.h"
#include "metafile_craft.h"
#include "metafile_decoders.h"
#include "metafile_svg.h"

#include "test_world.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tallowin::codec {
namespace {

using namespace std::chrono_literals;

class MetafileSafetyTest : public tallowin::test::TestWorld {
protected:
    void TearDown() override {
        if (!redPath_.empty()) std::remove(redPath_.c_str());
        TestWorld::TearDown();
    }

    // A solid red picture on disk that no metafile may show. libwmf garbles text
    // longer than its small formatting buffer, so the name is kept short: a unique
    // file directly in /tmp.
    std::string RedPicture() {
        std::string name = "/tmp/twXXXXXX.png";
        const int fd = ::mkstemps(name.data(), 4);
        EXPECT_GE(fd, 0);
        ::close(fd);
        redPath_ = name;
        QImage red(64, 64, QImage::Format_RGB32);
        red.fill(Qt::red);
        EXPECT_TRUE(red.save(QString::fromStdString(name), "PNG"));
        return name;
    }

    static int64_t RedPixels(const Raster& raster) {
        int64_t red = 0;
        for (size_t i = 0; i + 3 < raster.pixels.size(); i += 4) {
            const uint8_t* p = &raster.pixels[i];
            if (p[3] > 128 && p[2] > 200 && p[1] < 60 && p[0] < 60) ++red;
        }
        return red;
    }

    // Decodes a crafted file through its format's renderer.
    using Renderer = DecodeStatus (*)(const std::string&, const DecodeRequest&, Raster&, std::string&);
    static DecodeStatus Decode(Renderer render, const std::string& path, Raster& raster) {
        std::string warning;
        raster = Raster{};
        return render(path, DecodeRequest{}, raster, warning);
    }

private:
    std::string redPath_;
};

std::string ImageMarkup(const std::string& href, const std::string& attributes = "") {
    return "<image width=\"99\" height=\"99\" " + attributes + "xlink:href=\"" + href + "\"/>";
}

// EMF text is wrapped in CDATA; WMF text is written as it stands, into an SVG that
// declares no xlink prefix of its own.
std::string EmfBreakout(const std::string& href) {
    return "]]></text>" + ImageMarkup(href) + "<text><![CDATA[";
}
std::string WmfBreakout(const std::string& href) {
    return "</text>" + ImageMarkup(href, "xmlns:xlink=\"http://www.w3.org/1999/xlink\" ") + "<text>";
}

TEST_F(MetafileSafetyTest, TextRecordsCannotDrawALocalFile) {
    const std::string red = RedPicture();
    struct Case {
        Renderer render;
        std::string name;
        std::string bytes;
    };
    const Case cases[] = {
        {EmfDecode, "breakout.emf", tallowin::test::CraftEmf(100, 100, EmfBreakout(red))},
        {EmfDecode, "breakout_file_url.emf", tallowin::test::CraftEmf(100, 100, EmfBreakout("file://" + red))},
        {WmfDecode, "breakout.wmf", tallowin::test::CraftWmf(0, 0, 100, 100, WmfBreakout(red))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Raster raster;
        const DecodeStatus status = Decode(c.render, WriteFile(c.name, c.bytes).string(), raster);
        // The rest of the picture draws; the file never shows in it.
        ASSERT_EQ(status, DecodeStatus::Ok);
        EXPECT_EQ(RedPixels(raster), 0);
    }
}

TEST_F(MetafileSafetyTest, AnImageReferenceToAFifoDoesNotBlock) {
    // A short name, for the reason given at RedPicture.
    std::string fifo = "/tmp/twXXXXXX";
    ASSERT_NE(::mkdtemp(fifo.data()), nullptr);
    const std::string fifoFolder = fifo;
    fifo += "/p";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    // Should a reader open the pipe, a writer that comes and goes after a while lets
    // it see the end, so the test fails instead of hanging.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> unblocked{false};
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (finished.wait_for(lock, 20s, [&] { return done; })) return;
        unblocked = true;
        for (int i = 0; i < 100 && !done; ++i) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
            lock.unlock();
            std::this_thread::sleep_for(100ms);
            lock.lock();
        }
    });

    const std::string emf = WriteFile("fifo.emf", tallowin::test::CraftEmf(100, 100, EmfBreakout(fifo))).string();
    const std::string wmf = WriteFile("fifo.wmf", tallowin::test::CraftWmf(0, 0, 100, 100, WmfBreakout(fifo))).string();
    Raster raster;
    EXPECT_EQ(Decode(EmfDecode, emf, raster), DecodeStatus::Ok);
    EXPECT_EQ(Decode(WmfDecode, wmf, raster), DecodeStatus::Ok);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_all();
    watchdog.join();
    std::filesystem::remove_all(fifoFolder);
    EXPECT_FALSE(unblocked) << "a metafile opened a file named in its text";
}

TEST_F(MetafileSafetyTest, OrdinaryTextStillDraws) {
    // A frame filled blue, with text over it: the clean-up pass keeps the drawing.
    Raster raster;
    const std::string wmf = WriteFile("plain.wmf", tallowin::test::CraftWmf(0, 0, 100, 100, "Hello", true)).string();
    ASSERT_EQ(Decode(WmfDecode, wmf, raster), DecodeStatus::Ok);
    int64_t blue = 0;
    for (size_t i = 0; i < raster.pixels.size(); i += 4) {
        if (raster.pixels[i + 3] == 255 && raster.pixels[i] > 200 && raster.pixels[i + 2] < 60) ++blue;
    }
    EXPECT_GT(blue, 100 * 100 / 2);

    const std::string emf = WriteFile("plain.emf", tallowin::test::CraftEmf(100, 100, "Hello")).string();
    EXPECT_EQ(Decode(EmfDecode, emf, raster), DecodeStatus::Ok);
}

std::string Sanitised(const std::string& svg) {
    QByteArray clean;
    if (!detail::SanitiseSvg(QByteArray::fromStdString(svg), clean)) return "<refused>";
    return clean.toStdString();
}

std::string PngDataUri(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return "data:image/png;base64," + png.toBase64().toStdString();
}

TEST(SanitiseSvgTest, KeepsDrawingAndInternalReferencesOnly) {
    const std::string head = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">";
    const std::string kept = Sanitised(head +
                                       "<defs><clipPath id=\"c\"><rect width=\"5\" height=\"5\"/></clipPath></defs>"
                                       "<g clip-path=\"url(#c)\"><path d=\"M0 0L5 5\"/><use xlink:href=\"#c\"/></g>"
                                       "<text x=\"1\">a &amp; b</text></svg>");
    EXPECT_NE(kept.find("<clipPath id=\"c\">"), std::string::npos) << kept;
    EXPECT_NE(kept.find("xlink:href=\"#c\""), std::string::npos) << kept;
    EXPECT_NE(kept.find("a &amp; b"), std::string::npos) << kept;
    EXPECT_NE(kept.find("xmlns:xlink="), std::string::npos) << kept;

    // References out of the document go; so do elements that run script, embed other
    // documents or link away, with everything inside them.
    const std::string dropped = Sanitised(head +
                                          "<image xlink:href=\"/etc/passwd\"/>"
                                          "<image href=\"file:///dev/stdin\"/>"
                                          "<use xlink:href=\"other.svg#x\"/>"
                                          "<foreignObject><rect id=\"inside\"/></foreignObject>"
                                          "<script>alert(1)</script>"
                                          "<a xlink:href=\"/x\"><rect id=\"linked\"/></a>"
                                          "<rect onload=\"x()\" xml:base=\"/etc/\" width=\"1\"/></svg>");
    for (const char* gone : {"passwd", "stdin", "other.svg", "foreignObject", "inside", "script", "alert", "linked",
                             "onload", "xml:base"}) {
        EXPECT_EQ(dropped.find(gone), std::string::npos) << gone << " in " << dropped;
    }
    EXPECT_NE(dropped.find("<use/>"), std::string::npos) << dropped;
    EXPECT_NE(dropped.find("<rect width=\"1\"/>"), std::string::npos) << dropped;
}

TEST(SanitiseSvgTest, EmbeddedPicturesStayOnlyWhenTheyArePictures) {
    QImage green(4, 3, QImage::Format_RGB32);
    green.fill(Qt::green);
    const std::string head = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">";
    const std::string picture = Sanitised(head + "<image xlink:href=\"" + PngDataUri(green) + "\"/></svg>");
    EXPECT_NE(picture.find("xlink:href=\"data:image/png;base64,"), std::string::npos) << picture;

    // An SVG (with a file reference of its own) claiming to be a PNG is not one.
    const std::string inner = head + "<image xlink:href=\"/etc/passwd\"/></svg>";
    const std::string disguised = "data:image/png;base64," + QByteArray::fromStdString(inner).toBase64().toStdString();
    const std::string svgInside = Sanitised(head + "<image xlink:href=\"" + disguised + "\"/></svg>");
    EXPECT_EQ(svgInside.find("href"), std::string::npos) << svgInside;
}

TEST(SanitiseSvgTest, DocumentTypesEntitiesAndBrokenTextAreNotPassedOn) {
    const std::string withDoctype = Sanitised(
        "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY secret SYSTEM \"file:///etc/hostname\">]>"
        "<svg xmlns=\"http://www.w3.org/2000/svg\"><text>&secret;</text><!-- note --></svg>");
    EXPECT_EQ(withDoctype.find("DOCTYPE"), std::string::npos) << withDoctype;
    EXPECT_EQ(withDoctype.find("ENTITY"), std::string::npos) << withDoctype;
    EXPECT_EQ(withDoctype.find("secret"), std::string::npos) << withDoctype;
    EXPECT_EQ(withDoctype.find("note"), std::string::npos) << withDoctype;

    EXPECT_EQ(Sanitised("<svg xmlns=\"http://www.w3.org/2000/svg\"><text>a < b</text></svg>"), "<refused>");
    EXPECT_EQ(Sanitised("<html><svg/></html>"), "<refused>");
    EXPECT_EQ(Sanitised(""), "<refused>");
}

TEST(SanitiseSvgTest, ReferencesCannotMultiplyThePaintingWithoutEnd) {
    const std::string head = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">";
    // A few uses of a small picture, as libemf2svg writes for bitmaps, and clip paths.
    std::string ordinary = head + "<defs><clipPath id=\"c\"><rect width=\"5\" height=\"5\"/></clipPath>"
                                  "<g id=\"dot\"><rect width=\"1\" height=\"1\"/></g></defs>";
    for (int i = 0; i < 100; ++i) ordinary += "<use xlink:href=\"#dot\" clip-path=\"url(#c)\"/>";
    EXPECT_NE(Sanitised(ordinary + "</svg>"), "<refused>");

    // A use that refers to itself through an ancestor, and a chain of uses.
    EXPECT_EQ(Sanitised(head + "<g id=\"loop\"><use xlink:href=\"#loop\"/></g></svg>"), "<refused>");
    EXPECT_EQ(Sanitised(head + "<g id=\"a\"><rect/></g><g id=\"b\"><use xlink:href=\"#a\"/><use xlink:href=\"#a\"/></g>"
                               "<use xlink:href=\"#b\"/></svg>"),
              "<refused>");

    // Thousands of references to a group of a thousand elements.
    std::string rects;
    for (int i = 0; i < 1000; ++i) rects += "<rect width=\"9\" height=\"9\"/>";
    std::string uses = head + "<defs><g id=\"big\">" + rects + "</g></defs>";
    std::string clips = head + "<defs><clipPath id=\"big\">" + rects + "</clipPath></defs>";
    EXPECT_NE(Sanitised(uses + "<use xlink:href=\"#big\"/></svg>"), "<refused>");
    EXPECT_NE(Sanitised(clips + "<rect style=\"clip-path:url( '#big' )\"/></svg>"), "<refused>");
    for (int i = 0; i < 5000; ++i) {
        uses += "<use xlink:href=\"#big\"/>";
        clips += "<rect width=\"9\" height=\"9\" style=\"fill:red;clip-path:url( '#big' )\"/>";
    }
    EXPECT_EQ(Sanitised(uses + "</svg>"), "<refused>");
    EXPECT_EQ(Sanitised(clips + "</svg>"), "<refused>");
}

}  // namespace
}  // namespace tallowin::codec
