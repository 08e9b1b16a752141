#include "desktop_opener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tallowin::ui {

bool OpenWithDesktopApplication(const QString& target) {
    QUrl url;
    if (QFileInfo::exists(target)) {
        url = QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
    } else if (target.startsWith(u'/')) {
        return false;  // a file or folder that is not there
    } else {
        url = QUrl::fromUserInput(target);
    }
    if (!url.isValid()) return false;

    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    // Without xdg-open Qt may still know another way (a desktop portal, say).
    if (opener.isEmpty()) return QDesktopServices::openUrl(url);

    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(opener);
    process->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    if (process->waitForFinished(kOpenerWaitMs)) {
        const bool opened = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
        delete process;
        return opened;
    }
    // Still running: it started the application and stays with it. The process object
    // goes when the opener ends (or with the application, which leaves what the opener
    // started running).
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return true;
}

}  // namespace tallowin::ui
