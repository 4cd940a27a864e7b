// A movie view in a real top-level window, running the recording test plug-in.
#pragma once

#include "NSFlashPluginView.h"
#include "TestPluginSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

namespace viewtest {

// Runs the event loop until the condition holds or the time is up; the condition's last answer.
inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 2000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline void spin(int milliseconds)
{
    waitUntil([] { return false; }, milliseconds);
}

inline size_t count(const TestPluginControl* control, const std::string& call)
{
    return size_t(std::count(control->calls.begin(), control->calls.end(), call));
}

inline constexpr const char* kSetWindow = "NPP_SetWindow";
inline constexpr const char* kNullEvent = "NPP_HandleEvent what=0";
inline constexpr const char* kUpdateEvent = "NPP_HandleEvent what=6";

class ViewFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testplugin::ensureApplication();
        control = testplugin::control();
        ASSERT_NE(control, nullptr) << "test plug-in bundle not found at " << testplugin::bundlePath().toStdString();
        control->reset();
        NSFlashPluginView::setPluginPath(testplugin::bundlePath());
        window = std::make_unique<QWidget>();
        window->resize(400, 300);
        view = new NSFlashPluginView(window.get()); // owned by the window
        view->setGeometry(20, 10, 200, 100);
        window->show();
        window->activateWindow();
        waitUntil([this] { return window->isActiveWindow(); }, 1000);
    }

    void TearDown() override
    {
        window.reset();
        NSFlashPluginView::setPluginPath(QString());
        if (control)
            control->reset();
    }

    // Events the plug-in received with this code.
    std::vector<EventRecord> eventsWithCode(EventKind what) const
    {
        std::vector<EventRecord> found;
        for (const EventRecord& event : control->events)
            if (event.what == what)
                found.push_back(event);
        return found;
    }

    TestPluginControl* control = nullptr;
    std::unique_ptr<QWidget> window;
    NSFlashPluginView* view = nullptr;
};

} // namespace viewtest
