#include "FramePicture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <algorithm>

namespace {

constexpr char kExportProgramName[] = "reelfinch-export";
// A frame far into a long movie takes a while to reach; a stuck exporter is ended.
constexpr int kExportTimeoutMs = 60000;

const char* qualityName(int quality)
{
    switch (quality) {
    case 0:
        return "low";
    case 1:
        return "medium";
    default:
        return "high";
    }
}

} // namespace

QString exportProgram()
{
    if (QCoreApplication::instance()) {
        const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kExportProgramName));
        if (QFileInfo(beside).isExecutable())
            return beside;
    }
#ifdef REELFINCH_EXPORT_PROGRAM
    return QStringLiteral(REELFINCH_EXPORT_PROGRAM);
#else
    return QString();
#endif
}

bool writeOwnSizeFrame(const QString& moviePath, int frame, int quality, const QString& pngPath)
{
    const QString program = exportProgram();
    if (program.isEmpty() || !QFileInfo(program).isExecutable())
        return false;
    QProcess exporter;
    exporter.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    exporter.start(program,
        { moviePath, QStringLiteral("--frame"), QString::number(std::max(frame, 1)), QStringLiteral("--out"), pngPath,
            QStringLiteral("--quality"), QLatin1String(qualityName(quality)) });
    if (!exporter.waitForFinished(kExportTimeoutMs)) {
        exporter.kill();
        exporter.waitForFinished();
        return false;
    }
    return exporter.exitStatus() == QProcess::NormalExit && exporter.exitCode() == 0 && QFileInfo(pngPath).isFile();
}
