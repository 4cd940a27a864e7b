// The script behaviour corpus: movies whose trace output an established player printed are run through the
// same host path as reelfinch-run (in this one process, a fresh movie view each), and their lines compared. Every
// failing movie is named and the pass count reported; the test fails only below a floor that rises as the
// machine grows.
#include "CorpusInput.h"
#include "MovieRunner.h"
#include "TestApplication.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Passing movies, at least (of about 470).
constexpr int kPassFloor = 450;
// What one movie may take before the runner stops feeding it time, and what one action list may run.
constexpr double kMovieBudgetSeconds = 5.0;
constexpr const char* kScriptTimeLimit = "1";

struct TraceTest {
    int frames = 1;
    bool ticks = false;
    double tickMs = 0;
    double epsilon = 0;
    double maxRelative = 0;
    bool bareNumbers = false;
    bool logFetch = false;
    std::vector<std::string> numberPatterns;
    double viewportWidth = 0; // device pixels, and how many make one pixel of the screen
    double viewportHeight = 0;
    double scaleFactor = 1;
};

// A number given as `key = N` in an inline table ("{ width = 900, height = 900 }"); 0 when absent.
double InlineNumber(const std::string& table, const std::string& key)
{
    const std::regex re("[{,]\\s*" + key + "\\s*=\\s*([-+0-9.eE]+)");
    std::smatch match;
    return std::regex_search(table, match, re) ? std::atof(match[1].str().c_str()) : 0;
}

QString CorpusFolder()
{
    const QByteArray overridden = qgetenv("REELFINCH_CORPUS");
    return QString::fromLocal8Bit(overridden.isEmpty() ? QByteArray(REELFINCH_CORPUS_DIR) : overridden)
        + QStringLiteral("/avm1-trace");
}

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r");
    const size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// The keys this test needs from test.toml; [[compilers]] blocks (some in a syntax strict readers refuse) and
// other tables are passed over.
TraceTest ReadToml(const QString& path)
{
    TraceTest test;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return test;
    std::istringstream in(file.readAll().toStdString());
    std::string line;
    std::string table;
    while (std::getline(in, line)) {
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        if (t[0] == '[') {
            table = t;
            continue;
        }
        const size_t eq = t.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = Trim(t.substr(0, eq));
        const std::string value = Trim(t.substr(eq + 1));
        if (table.empty()) {
            if (key == "num_frames")
                test.frames = std::atoi(value.c_str());
            else if (key == "num_ticks") {
                test.frames = std::atoi(value.c_str());
                test.ticks = true;
            } else if (key == "tick_rate")
                test.tickMs = std::atof(value.c_str());
            else if (key == "log_fetch")
                test.logFetch = value == "true";
        } else if (table == "[player_options]") {
            if (key == "viewport_dimensions") {
                test.viewportWidth = InlineNumber(value, "width");
                test.viewportHeight = InlineNumber(value, "height");
                if (const double scale = InlineNumber(value, "scale_factor"); scale > 0)
                    test.scaleFactor = scale;
            }
        } else if (table == "[approximations]") {
            if (key == "epsilon")
                test.epsilon = std::atof(value.c_str());
            else if (key == "max_relative")
                test.maxRelative = std::atof(value.c_str());
            else if (key == "bare_numbers")
                test.bareNumbers = value == "true";
            else if (key == "number_patterns") {
                // A list of basic strings with \\ escapes.
                size_t pos = 0;
                while ((pos = value.find('"', pos)) != std::string::npos) {
                    std::string pattern;
                    size_t i = pos + 1;
                    for (; i < value.size() && value[i] != '"'; ++i) {
                        if (value[i] == '\\' && i + 1 < value.size())
                            ++i;
                        pattern += value[i];
                    }
                    test.numberPatterns.push_back(pattern);
                    pos = i + 1;
                }
            }
        }
    }
    return test;
}

} // namespace

// A movie's input.json: mouse, key, focus, text and clipboard events, each "Wait" letting one more frame play
// before what follows. Text input and text controls right after a key press repeat what that key's event carries
// already; on their own they are text the host typed (Enter's line end among it) or the host's editing commands.
// The input method's composing text (its caret a byte offset in it, or none) goes as the host's composition
// events; what it commits ends the composing and is typed. Buttons other than the left and middle ones have no
// way into the movie and are passed over.
std::vector<reelfinch::runner::InputEvent> plugintest::ReadInput(const QString& path)
{
    using reelfinch::runner::InputEvent;
    std::vector<InputEvent> input;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return input;
    const QJsonArray events = QJsonDocument::fromJson(file.readAll()).array();
    int after = 1;
    int keyCharacter = -1; // the character of the key pressed just before, while its text may follow
    bool arrowPressed = false; // that key was an arrow, whose caret move may follow
    for (const QJsonValue& value : events) {
        const QJsonObject e = value.toObject();
        const QString type = e.value(QStringLiteral("type")).toString();
        InputEvent event;
        event.afterFrame = after;
        const int pressed = keyCharacter;
        const bool arrow = arrowPressed;
        if (type != QLatin1String("TextInput") && type != QLatin1String("TextControl")) {
            keyCharacter = -1;
            arrowPressed = false;
        }
        if (type == QLatin1String("TextInput") || type == QLatin1String("TextControl")) {
            // A key's controls (Enter, arrows, deleting) and the character it types come with its own event; a
            // caret move after any other key (Tab) is the host's own.
            const QString control = e.value(QStringLiteral("code")).toString();
            const bool caretMove = control == QLatin1String("MoveLeft") || control == QLatin1String("MoveRight");
            if (type == QLatin1String("TextControl") && pressed >= 0 && (!caretMove || arrow))
                continue;
            keyCharacter = -1;
            if (type == QLatin1String("TextInput")) {
                const QList<uint> codePoints = e.value(QStringLiteral("codepoint")).toString().toUcs4();
                if (codePoints.isEmpty())
                    continue;
                const int c = int(codePoints.front());
                if (pressed >= 0 && (c == pressed || (pressed == '\r' && c == '\n'))) {
                    keyCharacter = pressed;
                    continue;
                }
                event.kind = InputEvent::TextInput;
                event.charCode = int(codePoints.front());
            } else {
                static const std::pair<const char*, int> kCommands[] = { { "Paste", 'v' }, { "SelectAll", 'a' },
                    { "Copy", 'c' }, { "Cut", 'x' }, { "Enter", '\r' } };
                const QString code = e.value(QStringLiteral("code")).toString();
                // A caret move of its own is the arrow key that makes it.
                if (code == QLatin1String("MoveLeft") || code == QLatin1String("MoveRight")) {
                    if (reelfinch::runner::KeyByName(code == QLatin1String("MoveLeft") ? "ArrowLeft" : "ArrowRight", event)) {
                        event.kind = InputEvent::KeyDown;
                        input.push_back(event);
                        event.kind = InputEvent::KeyUp;
                        input.push_back(event);
                    }
                    continue;
                }
                int command = 0;
                for (const auto& [name, key] : kCommands)
                    if (code == QLatin1String(name))
                        command = key;
                if (!command)
                    continue;
                event.kind = command == '\r' ? InputEvent::TextInput : InputEvent::EditCommand;
                event.charCode = command;
            }
            input.push_back(event);
            continue;
        }
        if (type == QLatin1String("ImePreedit") || type == QLatin1String("ImeCommit")) {
            const QString text = e.value(QStringLiteral("text")).toString();
            event.kind = InputEvent::Composition;
            if (type == QLatin1String("ImeCommit")) {
                input.push_back(event);
                event.kind = InputEvent::TextInput;
                for (const uint c : text.toUcs4()) {
                    event.charCode = int(c);
                    input.push_back(event);
                }
                continue;
            }
            event.text = text;
            const QJsonArray cursor = e.value(QStringLiteral("cursor")).toArray();
            if (cursor.size() == 2)
                event.caret = int(QString::fromUtf8(text.toUtf8().left(cursor.at(1).toInt())).size());
            input.push_back(event);
            continue;
        }
        if (type == QLatin1String("SetClipboardText")) {
            event.kind = InputEvent::SetClipboard;
            event.text = e.value(QStringLiteral("text")).toString();
            input.push_back(event);
            continue;
        }
        if (type == QLatin1String("Wait")) {
            ++after;
            continue;
        }
        if (type == QLatin1String("MouseMove") || type == QLatin1String("MouseDown")
            || type == QLatin1String("MouseUp")) {
            // The host passes the main and the middle button; a press or release of another one (the right one,
            // which opens the menu) just moves the pointer there.
            const QString button = e.value(QStringLiteral("btn")).toString();
            const bool passed = !e.contains(QStringLiteral("btn")) || button == QLatin1String("Left")
                || button == QLatin1String("Middle");
            const QJsonArray pos = e.value(QStringLiteral("pos")).toArray();
            event.x = pos.at(0).toDouble();
            event.y = pos.at(1).toDouble();
            event.otherButton = button == QLatin1String("Middle");
            event.kind = type == QLatin1String("MouseMove") || !passed ? InputEvent::MouseMove
                : type == QLatin1String("MouseDown")                   ? InputEvent::MouseDown
                                                                       : InputEvent::MouseUp;
            input.push_back(event);
        } else if (type == QLatin1String("KeyDown") || type == QLatin1String("KeyUp")) {
            const QJsonValue key = e.value(QStringLiteral("key"));
            const std::string name = key.isObject() ? key.toObject().value(QStringLiteral("Char")).toString().toStdString()
                                                    : key.toString().toStdString();
            if (!reelfinch::runner::KeyByName(name, event))
                continue;
            if (type == QLatin1String("KeyDown")) {
                keyCharacter = event.charCode;
                arrowPressed = name == "ArrowLeft" || name == "ArrowRight";
            }
            event.kind = type == QLatin1String("KeyDown") ? InputEvent::KeyDown : InputEvent::KeyUp;
            input.push_back(event);
        } else if (type == QLatin1String("FocusGained") || type == QLatin1String("FocusLost")) {
            event.kind = type == QLatin1String("FocusGained") ? InputEvent::FocusGained : InputEvent::FocusLost;
            input.push_back(event);
        }
    }
    return input;
}

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool Near(const TraceTest& test, double a, double b)
{
    if (a == b || (std::isnan(a) && std::isnan(b)))
        return true;
    const double d = std::fabs(a - b);
    return (test.epsilon > 0 && d <= test.epsilon)
        || (test.maxRelative > 0 && d <= test.maxRelative * std::max(std::fabs(a), std::fabs(b)));
}

std::optional<double> Number(const std::string& s)
{
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || !end || *end)
        return std::nullopt;
    return v;
}

bool LineMatches(const TraceTest& test, const std::string& expected, const std::string& actual)
{
    if (expected == actual)
        return true;
    if (test.bareNumbers) {
        const auto a = Number(expected), b = Number(actual);
        if (a && b && Near(test, *a, *b))
            return true;
    }
    for (const std::string& pattern : test.numberPatterns) {
        try {
            const std::regex re(pattern);
            std::smatch ma, mb;
            if (!std::regex_search(expected, ma, re) || !std::regex_search(actual, mb, re) || ma.size() != mb.size())
                continue;
            if (ma.prefix().str() != mb.prefix().str() || ma.suffix().str() != mb.suffix().str())
                continue;
            bool ok = true;
            for (size_t g = 1; g < ma.size() && ok; ++g) {
                const auto a = Number(ma[g].str()), b = Number(mb[g].str());
                ok = a && b && Near(test, *a, *b);
            }
            if (ok)
                return true;
        } catch (const std::regex_error&) {
        }
    }
    return false;
}

TEST(Avm1Corpus, TraceOutputMatchesTheReferencePlayer)
{
    const QDir folder(CorpusFolder());
    if (!folder.exists())
        GTEST_SKIP() << "no corpus at " << folder.path().toStdString();
    plugintest::Application();
    const QByteArray timeLimit = qgetenv("REELFINCH_SCRIPT_TIME_LIMIT");
    qputenv("REELFINCH_SCRIPT_TIME_LIMIT", kScriptTimeLimit);
    const QStringList names = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    const QByteArray userData = qgetenv("XDG_DATA_HOME");
    int total = 0;
    int passed = 0;
    for (const QString& name : names) {
        const QString dir = folder.filePath(name);
        if (!QFileInfo::exists(dir + "/test.swf") || !QFileInfo::exists(dir + "/output.txt"))
            continue;
        ++total;
        const TraceTest test = ReadToml(dir + "/test.toml");
        QFile expectedFile(dir + "/output.txt");
        if (!expectedFile.open(QIODevice::ReadOnly))
            continue;
        const std::vector<std::string> expected = Lines(expectedFile.readAll().toStdString());
        // Each movie starts with an empty store of shared objects, never the user's own.
        QTemporaryDir store;
        qputenv("XDG_DATA_HOME", store.path().toLocal8Bit());
        reelfinch::runner::RunOptions options;
        options.frames = std::max(1, test.frames);
        options.tickMs = test.ticks ? test.tickMs : 0;
        options.budgetSeconds = kMovieBudgetSeconds;
        options.logFetch = test.logFetch;
        options.input = plugintest::ReadInput(dir + "/input.json");
        // The viewport's device pixels over its scale factor: the pixels of the screen the movie sees.
        options.viewportWidth = int(std::lround(test.viewportWidth / test.scaleFactor));
        options.viewportHeight = int(std::lround(test.viewportHeight / test.scaleFactor));
        std::string output;
        reelfinch::runner::RunMovie(dir + "/test.swf", options, [&output](const QString& line) {
            output += line.toStdString();
            output += '\n';
        });
        const std::vector<std::string> actual = Lines(output);
        bool same = expected.size() == actual.size();
        for (size_t i = 0; same && i < expected.size(); ++i)
            same = LineMatches(test, expected[i], actual[i]);
        // With REELFINCH_AVM1_OUTPUT set, each movie's lines are kept there for comparing by hand.
        if (const QByteArray keep = qgetenv("REELFINCH_AVM1_OUTPUT"); !keep.isEmpty()) {
            QFile out(QString::fromLocal8Bit(keep) + "/" + name + ".txt");
            if (out.open(QIODevice::WriteOnly))
                out.write(output.data(), qint64(output.size()));
        }
        if (same)
            ++passed;
        else
            std::printf("avm1 corpus: FAIL %s\n", qPrintable(name));
    }
    if (userData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", userData);
    // The short limit is for the corpus only: tests run after it in the same process keep their own.
    if (timeLimit.isNull())
        qunsetenv("REELFINCH_SCRIPT_TIME_LIMIT");
    else
        qputenv("REELFINCH_SCRIPT_TIME_LIMIT", timeLimit);
    std::printf("avm1 corpus: %d of %d pass (%.1f %%)\n", passed, total, total ? 100.0 * passed / total : 0.0);
    std::fflush(stdout);
    EXPECT_GE(passed, std::min(kPassFloor, total));
}

} // namespace
