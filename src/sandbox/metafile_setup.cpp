// The metafile side of the decoder helper: every adapter, and in fonts mode Qt and the
// fonts set up before the filter. Only the metafile helper (and the test helper) link
// this file; the photo helper stays free of Qt.
#include "decoder_helper.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tallowin::sandbox {

namespace {

// Everything the metafile drawing loads on first use (the platform plugin, the font
// database and its configuration, the SVG module) is loaded before the filter.
// The application lives as long as the process, which ends with _exit.
void PrepareQt(char* program) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's notes about the session would land on the calling program's error stream.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    static int qtArgc = 1;
    static char* qtArgv[] = {program, nullptr};
    static QGuiApplication* const application = new QGuiApplication(qtArgc, qtArgv);
    (void)application;
    QFontDatabase::families();
    QImage canvas(16, 16, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    painter.drawText(0, 12, QStringLiteral("Aa"));
}

// The folders a metafile helper may read: what fontconfig searches and caches, and
// where libwmf looks for its font map.
std::vector<std::string> FontFolders() {
    std::vector<std::string> folders = {"/etc/fonts", "/usr/share/fonts", "/usr/share/libwmf",
                                        "/var/lib/ghostscript/fonts", "/usr/share/ghostscript"};
    FcConfig* config = FcConfigGetCurrent();
    for (FcStrList* list : {FcConfigGetFontDirs(config), FcConfigGetCacheDirs(config), FcConfigGetConfigDirs(config)}) {
        if (list == nullptr) continue;
        while (FcChar8* folder = FcStrListNext(list)) folders.emplace_back(reinterpret_cast<const char*>(folder));
        FcStrListDone(list);
    }
    return folders;
}

bool PrepareFonts(char* program, std::vector<std::string>& folders) {
    PrepareQt(program);
    folders = FontFolders();
    return true;
}

}  // namespace

DecoderEntry LibraryDecoders() {
    DecoderEntry entry = EntryFor(codec::AllDecoders(), &metadata::detail::ReadSourceMetadataHere);
    entry.prepareFonts = &PrepareFonts;
    return entry;
}

}  // namespace tallowin::sandbox
