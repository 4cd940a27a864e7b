// Our pictures against those an established player draws for real movies of a public visual test suite: each
// movie is exported through the player's host after the frames its test asks for and judged by the test's own
// tolerance. The figures (in scope and in all) are reported; the test fails only when exporting breaks down.
#include "CorpusInput.h"
#include "FrameExporter.h"
#include "MovieRunner.h"
#include "TestApplication.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTextStream>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Check {
    int tolerance = 0;
    long maxOutliers = 0;
};

struct VisualTest {
    int frames = 1;
    int quality = 2;
    std::vector<Check> checks;
    bool knownFailure = false;
};

QString CorpusRoot()
{
    const QByteArray overridden = qgetenv("REELFINCH_CORPUS");
    return QString::fromLocal8Bit(overridden.isEmpty() ? QByteArray(REELFINCH_CORPUS_DIR) : overridden);
}

QString CorpusFolder()
{
    return CorpusRoot() + QStringLiteral("/ruffle-visual");
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The mouse and key input a picture was drawn after: the test's own input.json, or, for a script test whose
// folder lacks it, that of the same movie among the script corpus (the same test, kept there with its input).
QString InputFile(const QString& name, const QString& folder)
{
    const QString own = folder + QStringLiteral("/input.json");
    if (QFileInfo::exists(own))
        return own;
    const QString prefix = QStringLiteral("avm1/");
    if (!name.startsWith(prefix))
        return {};
    const QString twin = CorpusRoot() + QStringLiteral("/avm1-trace/") + name.mid(prefix.size());
    const QString input = twin + QStringLiteral("/input.json");
    if (!QFileInfo::exists(input))
        return {};
    const QByteArray movie = FileBytes(folder + QStringLiteral("/test.swf"));
    return !movie.isEmpty() && movie == FileBytes(twin + QStringLiteral("/test.swf")) ? input : QString();
}

// The picture after the test's frames with its input fed in between, through the runner's path.
QImage PictureWithInput(const QString& movie, const VisualTest& test, const QSize& size, const QString& inputFile)
{
    reelfinch::runner::RunOptions options;
    options.frames = test.frames;
    options.quality = test.quality;
    options.viewportWidth = size.width();
    options.viewportHeight = size.height();
    options.input = plugintest::ReadInput(inputFile);
    QImage picture;
    options.picture = &picture;
    reelfinch::runner::RunMovie(movie, options, [](const QString&) {});
    return picture;
}

int IntValue(const QString& line)
{
    return line.section(QLatin1Char('='), 1).trimmed().toInt();
}

// The few keys of test.toml that decide the picture: frames or ticks, quality, and the output image's checks.
VisualTest ReadTest(const QString& path)
{
    VisualTest test;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return test;
    QTextStream in(&file);
    QString section;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            // A quoted key names the same table as a bare one: [image_comparisons."output"].
            section = line;
            section.remove(QLatin1Char('"'));
            if (section == QLatin1String("[[image_comparisons.output.checks]]"))
                test.checks.emplace_back();
            else if (section == QLatin1String("[image_comparisons.output]") && test.checks.empty())
                test.checks.emplace_back();
            continue;
        }
        if (line.startsWith(QLatin1String("num_frames")) || line.startsWith(QLatin1String("num_ticks")))
            test.frames = std::max(1, IntValue(line));
        else if (line.startsWith(QLatin1String("known_failure")) && line.contains(QLatin1String("true")))
            test.knownFailure = true;
        else if (line.startsWith(QLatin1String("with_renderer")) && line.contains(QLatin1String("quality")))
            test.quality = line.contains(QLatin1String("\"low\"")) ? 0
                : line.contains(QLatin1String("\"medium\""))       ? 1
                                                                   : 2;
        else if (section.startsWith(QLatin1String("[image_comparisons.output"))
            || section.startsWith(QLatin1String("[[image_comparisons.output"))) {
            if (test.checks.empty())
                test.checks.emplace_back();
            if (line.startsWith(QLatin1String("tolerance")))
                test.checks.back().tolerance = IntValue(line);
            else if (line.startsWith(QLatin1String("max_outliers")))
                test.checks.back().maxOutliers = IntValue(line);
        }
    }
    if (test.checks.empty())
        test.checks.emplace_back();
    return test;
}

// Whether every check holds; `worst` gets the largest count of pixels beyond a check's tolerance.
bool Matches(const QImage& ours, const QImage& expected, const std::vector<Check>& checks, long& worst)
{
    worst = -1;
    if (ours.size() != expected.size())
        return false;
    bool matched = true;
    const QImage a = ours.convertToFormat(QImage::Format_ARGB32);
    const QImage b = expected.convertToFormat(QImage::Format_ARGB32);
    for (const Check& check : checks) {
        long outliers = 0;
        for (int y = 0; y < a.height(); ++y) {
            const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
            const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
            for (int x = 0; x < a.width(); ++x) {
                const int d = std::max({ std::abs(qRed(ra[x]) - qRed(rb[x])), std::abs(qGreen(ra[x]) - qGreen(rb[x])),
                    std::abs(qBlue(ra[x]) - qBlue(rb[x])) });
                if (d > check.tolerance)
                    ++outliers;
            }
        }
        worst = std::max(worst, outliers);
        if (outliers > check.maxOutliers)
            matched = false;
    }
    return matched;
}

} // namespace

TEST(VisualCorpus, ExportsMatchTheReferencePictures)
{
    const QString root = CorpusFolder();
    QFile scope(root + QStringLiteral("/SCOPE.tsv"));
    if (!scope.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no visual corpus at " << root.toStdString();
    plugintest::Application();
    // REELFINCH_VISUAL_OUT names a folder that receives our pictures, one PNG per test, for looking at the misses.
    const QString outFolder = QString::fromLocal8Bit(qgetenv("REELFINCH_VISUAL_OUT"));
    // REELFINCH_VISUAL_ONLY keeps the tests whose name holds the given text.
    const QString only = QString::fromLocal8Bit(qgetenv("REELFINCH_VISUAL_ONLY"));
    int inScope = 0, inScopeMatched = 0, all = 0, allMatched = 0, failedExports = 0;
    QStringList missedInScope;
    QTextStream lines(&scope);
    lines.readLine(); // the header row
    while (!lines.atEnd()) {
        const QStringList fields = lines.readLine().split(QLatin1Char('\t'));
        if (fields.size() < 3)
            continue;
        if (!only.isEmpty() && !fields.at(0).contains(only))
            continue;
        const QString folder = root + QLatin1Char('/') + fields.at(0);
        const QString expectedPath = folder + QStringLiteral("/output.expected.png");
        if (!QFileInfo::exists(folder + QStringLiteral("/test.swf")) || !QFileInfo::exists(expectedPath))
            continue;
        const bool scoped = fields.at(2) == QLatin1String("yes");
        const VisualTest test = ReadTest(folder + QStringLiteral("/test.toml"));
        const QImage expected(expectedPath);
        reelfinch::exporter::ExportOptions options;
        options.frame = test.frames;
        options.quality = test.quality;
        options.size = expected.size();
        const QString input = InputFile(fields.at(0), folder);
        const QImage ours = input.isEmpty()
            ? reelfinch::exporter::ExportFrame(folder + QStringLiteral("/test.swf"), options)
            : PictureWithInput(folder + QStringLiteral("/test.swf"), test, expected.size(), input);
        if (ours.isNull())
            ++failedExports;
        long outliers = -1;
        const bool matched = !ours.isNull() && Matches(ours, expected, test.checks, outliers);
        std::printf("  %-7s %-3s %8ld outliers  %s\n", matched ? "match" : "differs", scoped ? "in" : "out", outliers,
            qPrintable(fields.at(0)));
        if (!outFolder.isEmpty() && !ours.isNull()) {
            QDir().mkpath(outFolder);
            ours.save(outFolder + QLatin1Char('/') + QString(fields.at(0)).replace(QLatin1Char('/'), QLatin1Char('_'))
                + QStringLiteral(".png"));
        }
        ++all;
        allMatched += matched;
        if (scoped) {
            ++inScope;
            inScopeMatched += matched;
            if (!matched)
                missedInScope << fields.at(0);
        }
    }
    std::printf("visual corpus: in scope %d of %d match (%.0f %%), in all %d of %d (%.0f %%)\n", inScopeMatched,
        inScope, inScope ? 100.0 * inScopeMatched / inScope : 0.0, allMatched, all,
        all ? 100.0 * allMatched / all : 0.0);
    for (const QString& name : missedInScope)
        std::printf("  in scope, differs: %s\n", qPrintable(name));
    RecordProperty("in_scope_matched", inScopeMatched);
    RecordProperty("in_scope", inScope);
    RecordProperty("all_matched", allMatched);
    RecordProperty("all", all);
    EXPECT_GT(all, 0);
    // What the plug-in draws today must keep matching: at least four in five of the tests within its reach.
    EXPECT_GE(inScopeMatched * 5, inScope * 4) << "in-scope pictures that no longer match our drawing";
    EXPECT_EQ(failedExports, 0) << "every movie exports a picture, blank or not";
}
