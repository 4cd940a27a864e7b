// The plug-in bundle loaded by the player's own host classes: the scripting methods, the timeline driven by
// null events, drawing on update events, a blank instance for a broken movie, and reelfinch-export's frames.
#include "FrameExporter.h"
#include "NSFlashPluginView.h"
#include "PluginTestSupport.h"
#include "TestApplication.h"

#include "EventRecord.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

using namespace plugintest;

namespace {

constexpr int T = kTwips;
constexpr int kViewW = 120;
constexpr int kViewH = 40;

// Four frames on a 120x40 stage: a red square moving along three 40-pixel cells, then a blue one.
std::vector<uint8_t> FourFrames(float rate = 12.0f)
{
    MovieBuilder movie(kViewW, kViewH, rate);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 40 * T, 40 * T, kRed);
    movie.rectShape(2, 0, 0, 40 * T, 40 * T, kBlue);
    movie.place(1, 1, 0, 0);
    movie.showFrame();
    movie.move(1, 40 * T, 0);
    movie.showFrame();
    movie.move(1, 80 * T, 0);
    movie.showFrame();
    movie.remove(1);
    movie.place(2, 2, 0, 0);
    movie.showFrame();
    return movie.finish();
}

QByteArray Bytes(const std::vector<uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

class PluginHost : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Application();
        qputenv("QT_QPA_PLATFORM", "offscreen");
        NSFlashPluginView::setPluginPath(QStringLiteral(REELFINCH_PLUGIN_BUNDLE));
        window = std::make_unique<QWidget>();
        window->resize(kViewW, kViewH);
        view = new NSFlashPluginView(window.get()); // owned by the window
        view->setGeometry(0, 0, kViewW, kViewH);
        window->show();
        QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        window.reset();
        NSFlashPluginView::setPluginPath(QString());
    }

    bool load(const std::vector<uint8_t>& movie)
    {
        view->setOriginalRect(0, 0, kViewW * T, kViewH * T);
        const bool loaded = view->loadMovie(Bytes(movie), QStringLiteral("/tmp/reelfinch-plugin-test.swf"));
        view->stopNullEvents(); // the tests keep the clock
        return loaded;
    }

    // Which 40-pixel cell shows which colour, from the view's snapshot.
    std::string cells()
    {
        const QImage image = view->snapshot();
        std::string out;
        for (int x : { 20, 60, 100 }) {
            const uint32_t p = image.pixel(x, 20);
            out += Near(p, kRed) ? 'R' : Near(p, kBlue) ? 'B' : Near(p, kWhite) ? '.' : '?';
        }
        return out;
    }

    void sendNull(uint32_t when)
    {
        EventRecord event {};
        event.what = nullEvent;
        event.when = when;
        event.where = Point { -1, -1 };
        event.modifiers = btnState;
        view->sendEvent(&event);
    }

    std::unique_ptr<QWidget> window;
    NSFlashPluginView* view = nullptr;
};

} // namespace

TEST_F(PluginHost, ScriptingMethodsAnswerThroughTheHost)
{
    ASSERT_TRUE(QFileInfo(QStringLiteral(REELFINCH_PLUGIN_BUNDLE)).isDir());
    ASSERT_TRUE(load(FourFrames()));
    EXPECT_EQ(view->totalFrames(), 4);
    EXPECT_EQ(view->currentFrame(), 0);
    EXPECT_TRUE(view->isPlaying());
    EXPECT_TRUE(view->stopPlay());
    EXPECT_FALSE(view->isPlaying());
    EXPECT_TRUE(view->play());
    EXPECT_TRUE(view->isPlaying());

    EXPECT_TRUE(view->gotoFrame(2));
    EXPECT_EQ(view->currentFrame(), 2);
    EXPECT_TRUE(view->forward());
    EXPECT_EQ(view->currentFrame(), 3);
    EXPECT_TRUE(view->back());
    EXPECT_EQ(view->currentFrame(), 2);
    EXPECT_TRUE(view->rewind());
    EXPECT_EQ(view->currentFrame(), 0);

    for (int quality : { 0, 1, 2 }) {
        EXPECT_TRUE(view->setFlashQuality(quality));
        EXPECT_EQ(view->flashQuality(), quality);
    }
    EXPECT_TRUE(view->setFlashQuality(7)) << "any other code is LOW";
    EXPECT_EQ(view->flashQuality(), 0);

    NSFlashPlugin* plugin = view->plugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(plugin->setZoomRect(0, 0, 40 * T, 40 * T));
    EXPECT_FALSE(plugin->setZoomRect(0, 0, 0, 0));
    EXPECT_TRUE(plugin->zoom(0));
    EXPECT_TRUE(plugin->pan(10, 0, 0));
}

TEST_F(PluginHost, UpdateEventsDrawTheCurrentFrameIntoThePort)
{
    ASSERT_TRUE(load(FourFrames()));
    view->stopPlay();
    EXPECT_EQ(cells(), "R..");
    const char* expected[] = { "R..", ".R.", "..R", "B.." };
    for (int frame : { 3, 1, 2, 0 }) {
        view->gotoFrame(frame);
        EXPECT_EQ(cells(), expected[frame]) << "frame " << frame;
    }
    // Zoomed on the right two thirds: 80x40 pixels of stage shown at their size, centred in the 120-pixel view.
    view->gotoFrame(2);
    ASSERT_TRUE(view->plugin()->setZoomRect(40 * T, 0, 120 * T, 40 * T));
    const QImage image = view->snapshot();
    EXPECT_TRUE(Near(image.pixel(55, 20), kWhite));
    EXPECT_TRUE(Near(image.pixel(62, 20), kRed));
    EXPECT_TRUE(Near(image.pixel(98, 20), kRed));
    EXPECT_TRUE(Near(image.pixel(105, 20), kWhite));
}

TEST_F(PluginHost, NullEventsPlayAtTheMoviesRate)
{
    ASSERT_TRUE(load(FourFrames(12.0f)));
    sendNull(100);
    EXPECT_EQ(view->currentFrame(), 0);
    sendNull(105);
    EXPECT_EQ(view->currentFrame(), 1);
    sendNull(115);
    EXPECT_EQ(view->currentFrame(), 3);
    sendNull(120);
    EXPECT_EQ(view->currentFrame(), 0) << "the movie loops";
    view->stopPlay();
    sendNull(200);
    EXPECT_EQ(view->currentFrame(), 0);
}

TEST_F(PluginHost, ABrokenMovieLeavesABlackInstanceWithoutFrames)
{
    const std::vector<uint8_t> garbage(300, 0x5A);
    load(garbage);
    EXPECT_EQ(view->totalFrames(), 0);
    EXPECT_EQ(view->currentFrame(), 0);
    const QImage image = view->snapshot();
    EXPECT_EQ(image.pixel(60, 20) & 0xFFFFFFu, 0u);
    EXPECT_FALSE(view->gotoFrame(1) && view->currentFrame() == 1);
}

TEST_F(PluginHost, ExportDrawsTheRequestedFrame)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("four.swf"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Bytes(FourFrames()));
    }
    const char* expected[] = { "R..", ".R.", "..R", "B.." };
    for (int frame = 1; frame <= 5; ++frame) {
        reelfinch::exporter::ExportOptions options;
        options.frame = frame;
        const QImage image = reelfinch::exporter::ExportFrame(path, options);
        ASSERT_EQ(image.size(), QSize(kViewW, kViewH));
        std::string out;
        for (int x : { 20, 60, 100 })
            out += Near(image.pixel(x, 20), kRed) ? 'R' : Near(image.pixel(x, 20), kBlue) ? 'B' : '.';
        EXPECT_EQ(out, expected[(frame - 1) % 4]) << "frame " << frame;
    }
    reelfinch::exporter::ExportOptions doubled;
    doubled.size = QSize(240, 80);
    const QImage big = reelfinch::exporter::ExportFrame(path, doubled);
    ASSERT_EQ(big.size(), QSize(240, 80));
    EXPECT_TRUE(Near(big.pixel(70, 40), kRed));
    EXPECT_TRUE(Near(big.pixel(90, 40), kWhite));
    QString error;
    EXPECT_TRUE(reelfinch::exporter::ExportFrame(folder.filePath(QStringLiteral("missing.swf")), {}, &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}
