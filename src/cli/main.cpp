// tallowin-batch: the converter's engine behind a command line, for scripts, servers
// and very large batches.

#include "batch_options.h"
#include "batch_runner.h"
#include "decoder_helpers.h"
#include "program_name.h"

#include <QGuiApplication>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace {

// Text is drawn with Qt's painter, which needs an application object. The tool never
// shows a window, so the offscreen platform serves unless the user names another: a
// display that is set but does not answer would otherwise abort the application.
void ChooseQtPlatform() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
}

// Qt's notes about the session (a missing runtime folder, the offscreen platform)
// are noise on a tool's error stream, which carries one line per failed photo.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s: %s\n", tallowin::cli::kProgramName, message.toLocal8Bit().constData());
    }
}

// The tool converts one photo after another, each taking and freeing pixel blocks of
// similar, large sizes. Kept in one heap instead of each getting (and returning) a
// mapping of its own, they reuse pages already faulted in: fresh ones cost the kernel
// a fault and a cleared page each. The workers share that heap (their own arenas hand
// such blocks back on free); they take little else from it. The process ends with
// its batch, so what the heap keeps is not held for long.
void KeepPixelMemory() {
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1024 << 20);
}

}  // namespace

int main(int argc, char** argv) {
    const bool interactive = isatty(STDIN_FILENO) != 0 && isatty(STDERR_FILENO) != 0;
    tallowin::cli::BatchOptions options;
    switch (tallowin::cli::ParseBatchOptions(argc, argv, interactive, options)) {
        case tallowin::cli::ParseOutcome::Done: return tallowin::cli::kExitAllConverted;
        case tallowin::cli::ParseOutcome::BadUsage: return tallowin::cli::kExitBadUsage;
        case tallowin::cli::ParseOutcome::Run: break;
    }
    // A write beyond the file size limit must fail like a full disk (and be reported),
    // not end the process halfway through a file.
    std::signal(SIGXFSZ, SIG_IGN);
    KeepPixelMemory();
    // The decoder helpers load while the tool starts Qt and finds its photos: one for
    // each worker that will convert (the first also reads the photos' headers).
    const size_t workers = std::min<size_t>(options.jobs, options.paths.size());
    tallowin::codec::StartDecoderHelpers(static_cast<int>(std::max<size_t>(workers, 1)));
    ChooseQtPlatform();
    qInstallMessageHandler(QuietQtMessages);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication application(qtArgc, qtArgv);
    const int status = tallowin::cli::RunBatch(options);
    // The decoder helpers are waited for: no process outlives the tool, and their time is the tool's.
    tallowin::codec::EndIdleDecoderHelpers();
    return status;
}
