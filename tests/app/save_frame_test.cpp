// Save Frame as Picture with our own plug-in drawing the bundled demo movies: at the movie's own size the picture
// is reelfinch-export's for the frame shown, and at the current zoom it is what the movie window shows.
#include "FramePicture.h"
#include "MovieController.h"
#include "NSFlashPluginView.h"
#include "PlayerController.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>

#include <cairo.h>

namespace {

// The share of pixels that differ by more than a few levels in any channel.
double differingShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    long differing = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            if (std::abs(qRed(p) - qRed(q)) > 3 || std::abs(qGreen(p) - qGreen(q)) > 3
                || std::abs(qBlue(p) - qBlue(q)) > 3)
                ++differing;
        }
    return double(differing) / (double(x.width()) * x.height());
}

QImage exported(const QString& movie, int frame, const QString& out)
{
    QProcess exporter;
    exporter.start(
        exportProgram(), { movie, QStringLiteral("--frame"), QString::number(frame), QStringLiteral("--out"), out });
    if (!exporter.waitForFinished(60000) || exporter.exitCode() != 0)
        return QImage();
    return QImage(out);
}

} // namespace

TEST(SaveFrame, OwnSizeIsTheExportersPictureAndCurrentZoomIsTheWindowsPicture)
{
    if (!QDir(QStringLiteral(REELFINCH_FLASH_PLUGIN_BUNDLE)).exists() || exportProgram().isEmpty())
        GTEST_SKIP() << "the plug-in or the exporter is not built";
    // The plug-in fills cairo's process-long caches; with cairo loaded by this process too they stay reachable
    // once the plug-in is unloaded, instead of turning into leaks of an unloaded library.
    ASSERT_GT(cairo_version(), 0);
    // The exporter is a program of its own; its process-long caches are not this test's subject.
    const QByteArray sanitizerOptions = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", sanitizerOptions + (sanitizerOptions.isEmpty() ? "" : ":") + "detect_leaks=0");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = NSFlashPluginView::pluginPath();
    NSFlashPluginView::setPluginPath(QStringLiteral(REELFINCH_FLASH_PLUGIN_BUNDLE));
    {
        PlayerController player(dir.filePath(QStringLiteral("settings.ini")));
        player.quitApplication = [] {};
        player.applicationWillFinishLaunching();
        player.applicationDidFinishLaunching();
        EXPECT_FALSE(player.saveFramePicture(dir.filePath(QStringLiteral("none.png")), false)) << "no movie";

        for (const char* name : { "demo.swf", "gradients-and-morph.swf" }) {
            SCOPED_TRACE(name);
            const QString movie = QDir(QStringLiteral(REELFINCH_DEMO_DIR)).filePath(QLatin1String(name));
            ASSERT_TRUE(player.loadMovie(movie));
            NSFlashPluginView* view = player.movieController()->flashView();
            // The window holds the movie at its own size, at 100 %, paused at frame 7.
            QMainWindow* window = player.movieController()->window();
            for (int i = 0; i < 3 && view->size() != QSize(480, 320); ++i) {
                window->resize(window->size() - view->size() + QSize(480, 320));
                QCoreApplication::processEvents();
            }
            ASSERT_EQ(view->size(), QSize(480, 320));
            view->setOriginalSize();
            player.playAction(nullptr);
            ASSERT_TRUE(player.isPaused());
            ASSERT_TRUE(view->gotoFrame(6));

            const QString ownSize = dir.filePath(QStringLiteral("own.png"));
            const QString shown = dir.filePath(QStringLiteral("shown.png"));
            ASSERT_TRUE(player.saveFramePicture(ownSize, true));
            ASSERT_TRUE(player.saveFramePicture(shown, false));
            const QImage reference = exported(movie, 7, dir.filePath(QStringLiteral("reference.png")));
            ASSERT_FALSE(reference.isNull());
            EXPECT_EQ(QImage(ownSize).convertToFormat(QImage::Format_ARGB32),
                reference.convertToFormat(QImage::Format_ARGB32));
            EXPECT_LT(differingShare(QImage(shown), reference), 0.01);
            // Zoomed in, the window shows less of the movie, larger.
            view->setZoomPercent(200);
            ASSERT_TRUE(player.saveFramePicture(shown, false));
            EXPECT_EQ(QImage(shown).size(), QSize(480, 320));
            EXPECT_GT(differingShare(QImage(shown), reference), 0.05);
        }
    }
    NSFlashPluginView::setPluginPath(previous);
    if (sanitizerOptions.isNull())
        qunsetenv("ASAN_OPTIONS");
    else
        qputenv("ASAN_OPTIONS", sanitizerOptions);
}
