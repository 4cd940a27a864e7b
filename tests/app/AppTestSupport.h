// A launched player for the application's tests: a settings file of its own in a temporary folder, movie files
// made from the bundled demo movie, and the real movie view hosting the recording test plug-in, whose timeline
// the test sets (frame count and current frame).
#pragma once

#include "NSFlashPluginView.h"
#include "PlayerController.h"
#include "TestPluginSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

class AppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(_dir.isValid());
        plugin = testplugin::control();
        ASSERT_NE(plugin, nullptr) << "test plug-in not found";
        plugin->reset();
        plugin->answer = [this](const std::string& method, const NPVariant*, uint32_t, NPVariant* result) {
            if (method == "TotalFrames")
                INT32_TO_NPVARIANT(totalFrames, *result);
            else if (method == "CurrentFrame")
                INT32_TO_NPVARIANT(viewFrame, *result);
        };
        NSFlashPluginView::setPluginPath(testplugin::bundlePath());
        settingsFile = _dir.filePath(QStringLiteral("settings.ini"));
    }

    void TearDown() override
    {
        app.reset();
        plugin->reset();
    }

    // A copy of the demo movie named `name` in the test's folder (or text, for a file that is no movie).
    QString movie(const QString& name, const QByteArray& text = {})
    {
        const QString path = _dir.filePath(name);
        if (text.isEmpty()) {
            QFile::remove(path);
            EXPECT_TRUE(QFile::copy(QStringLiteral(REELFINCH_DEMO_MOVIE), path));
        } else {
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        return path;
    }
    QString missing(const QString& name) const { return _dir.filePath(name); }

    void store(const std::function<void(QSettings&)>& fill)
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        fill(settings);
    }

    // Launches a player: settings read, `opens` opened as at launch, windows made.
    PlayerController& launch(const QStringList& opens = {})
    {
        app = std::make_unique<PlayerController>(settingsFile);
        app->openUrl = [this](const QUrl& url) {
            openedUrls.append(url);
            return true;
        };
        app->quitApplication = [this] { ++quits; };
        app->applicationWillFinishLaunching();
        for (const QString& path : opens)
            app->applicationOpenFile(path);
        app->applicationDidFinishLaunching();
        return *app;
    }

    // Lets the event loop run for `ms` milliseconds.
    static void spin(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
        }
    }

    TestPluginControl* plugin = nullptr;
    int totalFrames = 5;
    int viewFrame = 0; // counted from 0, as the view counts
    QString settingsFile;
    std::unique_ptr<PlayerController> app;
    QList<QUrl> openedUrls;
    int quits = 0;

private:
    QTemporaryDir _dir;
};
