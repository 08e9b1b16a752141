// Times adding a folder of photos to the list, against one full decode of the photo.
// The folder holds COUNT hard links to one photo, so a large count costs no disk space.
// Without PHOTO a 6000 x 4000 PNG is made. Prints tab-separated figures.
//
//   adding_bench [--count N] [PHOTO]

#include "gdiplus.h"
#include "main_window_model.h"
#include "settings_store.h"
#include "window_port.h"

#include <QImage>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A port that shows nothing and counts the boxes it was asked to show.
class SilentPort : public tallowin::WindowPort {
public:
    int messages = 0;
    tallowin::MessageAnswer ShowMessage(const std::string& text, const std::string&, tallowin::MessageButtons,
                                        tallowin::MessageIcon, tallowin::MessageOwner) override
    {
        ++messages;
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return tallowin::MessageAnswer::Ok;
    }
    std::string ControlText(tallowin::ControlId) override { return {}; }
    void SetControlText(tallowin::ControlId, const std::string&) override {}
    void EnableControl(tallowin::ControlId, bool) override {}
    void SetProgress(int) override {}
    void AddLogLine(const std::string&) override {}
    void RemoveFirstLogLine() override {}
    void ClearLog() override {}
    void PhotoListChanged() override {}
    bool OpenWithDesktop(const std::string&) override { return false; }
};

std::string MakeLargePhoto(const fs::path& folder)
{
    QImage image(6000, 4000, QImage::Format_RGB888);
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            row[3 * x] = static_cast<uchar>(x);
            row[3 * x + 1] = static_cast<uchar>(y);
            row[3 * x + 2] = static_cast<uchar>(x ^ y);
        }
    }
    const std::string path = (folder / "large.png").string();
    if (!image.save(QString::fromStdString(path), "PNG")) return {};
    return path;
}

// Opens the photo and draws it into a small bitmap, which decodes every pixel.
double FullDecodeMilliseconds(const std::string& path)
{
    const auto start = Clock::now();
    const std::u16string wide = QString::fromStdString(path).toStdU16String();
    GpImage* image = nullptr;
    GpBitmap* target = nullptr;
    GpGraphics* graphics = nullptr;
    if (GdipLoadImageFromFile(wide.c_str(), &image) != Ok) return -1;
    GdipCreateBitmapFromScan0(64, 64, 0, PixelFormat24bppRGB, nullptr, &target);
    GdipGetImageGraphicsContext(target, &graphics);
    GdipDrawImageRectI(graphics, image, 0, 0, 64, 64);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(target);
    GdipDisposeImage(image);
    return Milliseconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char* argv[])
{
    int count = 1000;
    std::string photo;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--count" && i + 1 < argc) count = std::atoi(argv[++i]);
        else photo = arg;
    }
    const fs::path work = fs::temp_directory_path() / ("adding_bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "photos");
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);  // leave the user's settings alone
    if (photo.empty()) photo = MakeLargePhoto(work);
    if (photo.empty() || !fs::exists(photo)) {
        std::fprintf(stderr, "no photo to add\n");
        return 1;
    }
    const std::string extension = fs::path(photo).extension().string();
    for (int i = 0; i < count; ++i) {
        const fs::path link = work / "photos" / ("photo" + std::to_string(i) + extension);
        std::error_code ec;
        fs::create_hard_link(photo, link, ec);
        if (ec) fs::copy_file(photo, link, ec);
    }

    ULONG_PTR token = 0;
    GdiplusStartupInput input;
    GdiplusStartup(&token, &input, nullptr);
    const double decode = FullDecodeMilliseconds(photo);

    SilentPort port;
    int added = 0;
    double addMs = 0;
    {
        tallowin::SettingsStore store;
        tallowin::MainWindowModel model(port, store);
        const auto start = Clock::now();
        model.AddFolderTree((work / "photos").string());
        addMs = Milliseconds(Clock::now() - start);
        added = static_cast<int>(model.Photos().size());
    }
    GdiplusShutdown(token);

    std::printf("photo\t%s\n", photo.c_str());
    std::printf("photos added\t%d of %d\n", added, count);
    std::printf("adding, total ms\t%.1f\n", addMs);
    std::printf("adding, ms per photo\t%.3f\n", added > 0 ? addMs / added : 0.0);
    std::printf("one full decode, ms\t%.1f\n", decode);
    std::printf("messages\t%d\n", port.messages);
    std::error_code ec;
    fs::remove_all(work, ec);
    return added == count ? 0 : 1;
}
