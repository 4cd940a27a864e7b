// Qt input as event records: modifiers, key codes and characters, mouse points; and the view's delivery rules
// (key repeats, right clicks, drags, movie dragging, editing commands, focus, input methods).
#include "ViewTestSupport.h"

#include "CarbonEvents.h"
#include "EventRecordUtils.h"
#include "MacKeyCodes.h"
#include "npextensions.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>

using namespace viewtest;

namespace {

EventRecord Convert(const QEvent& event)
{
    EventRecord record {};
    EventRecordUtils::convertEvent(&event, &record);
    return record;
}

QMouseEvent MouseEvent(QEvent::Type type, Qt::MouseButton button, QPointF local, QPointF global,
    Qt::MouseButtons held = Qt::NoButton, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return QMouseEvent(type, local, local, global, button, held, modifiers);
}

// Qt's input events need the application object, which owns the devices they come from.
class EventConversion : public ::testing::Test
{
protected:
    void SetUp() override { testplugin::ensureApplication(); }
};

} // namespace

TEST_F(EventConversion, ModifiersMapToTheMacKeys)
{
    struct Case {
        Qt::KeyboardModifiers qt;
        EventModifiers mac;
    };
    const std::vector<Case> cases = {
        { Qt::NoModifier, 0 },
        { Qt::ControlModifier, cmdKey },
        { Qt::MetaModifier, controlKey },
        { Qt::AltModifier, optionKey },
        { Qt::ShiftModifier, shiftKey },
        { Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier,
            EventModifiers(cmdKey | shiftKey | optionKey | controlKey) },
        { Qt::KeypadModifier, 0 },
    };
    for (const Case& c : cases) {
        const QKeyEvent key(QEvent::KeyPress, Qt::Key_A, c.qt, "a");
        EXPECT_EQ(Convert(key).modifiers, c.mac) << int(c.qt);
    }
}

TEST_F(EventConversion, KeysCarryMacKeyCodesAndCharacters)
{
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        uint8_t keyCode;
        uint8_t character;
    };
    const std::vector<Case> cases = {
        { "x", Qt::Key_X, Qt::NoModifier, "x", 7, 'x' },
        { "shift x", Qt::Key_X, Qt::ShiftModifier, "X", 7, 'X' },
        { "ctrl x types a control character", Qt::Key_X, Qt::ControlModifier, QString(QChar(0x18)), 7, 'x' },
        { "ctrl shift a", Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier, QString(QChar(0x01)), 0, 'A' },
        { "exclamation is the 1 key", Qt::Key_Exclam, Qt::ShiftModifier, "!", 0x12, '!' },
        { "keypad 5", Qt::Key_5, Qt::KeypadModifier, "5", 0x57, '5' },
        { "main 5", Qt::Key_5, Qt::NoModifier, "5", 0x17, '5' },
        { "return", Qt::Key_Return, Qt::NoModifier, "\r", 0x24, 0x0D },
        { "left arrow", Qt::Key_Left, Qt::NoModifier, "", 0x7B, 0x1C },
        { "up arrow", Qt::Key_Up, Qt::NoModifier, "", 0x7E, 0x1E },
        { "backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", 0x33, 0x08 },
        { "forward delete", Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)), 0x75, 0x7F },
        { "escape", Qt::Key_Escape, Qt::NoModifier, QString(QChar(0x1B)), 0x35, 0x1B },
        { "F5", Qt::Key_F5, Qt::NoModifier, "", 0x60, 0x10 },
        { "space", Qt::Key_Space, Qt::NoModifier, " ", 0x31, ' ' },
        { "latin-1 letter", Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xE9)), kUnknownMacKeyCode, 0xE9 },
        { "beyond latin-1 is lossy", Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x20AC)), kUnknownMacKeyCode, '?' },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QKeyEvent key(QEvent::KeyPress, c.key, c.modifiers, c.text);
        const EventRecord record = Convert(key);
        EXPECT_EQ(record.what, keyDown);
        EXPECT_EQ(record.message, MakeKeyMessage(c.keyCode, c.character));
    }

    const QKeyEvent repeat(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x", true);
    EXPECT_EQ(Convert(repeat).what, autoKey);
    const QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, "x");
    EXPECT_EQ(Convert(release).what, keyUp);
    EXPECT_EQ(Convert(release).message, MakeKeyMessage(7, 'x'));
}

TEST_F(EventConversion, MouseEventsCarryScreenPointsAndButtons)
{
    const QPointF local(5, 5), global(300.7, 200.2);
    const EventRecord down = Convert(MouseEvent(QEvent::MouseButtonPress, Qt::LeftButton, local, global));
    EXPECT_EQ(down.what, mouseDown);
    EXPECT_EQ(down.where.h, 300);
    EXPECT_EQ(down.where.v, 200);
    EXPECT_EQ(down.modifiers, 0);
    EXPECT_EQ(down.message, 0u);

    const EventRecord right = Convert(MouseEvent(QEvent::MouseButtonPress, Qt::RightButton, local, global));
    EXPECT_EQ(right.what, mouseDown);
    EXPECT_EQ(right.modifiers, EventModifiers(controlKey | btnState));

    const EventRecord rightUp = Convert(MouseEvent(QEvent::MouseButtonRelease, Qt::RightButton, local, global));
    EXPECT_EQ(rightUp.what, mouseUp);
    EXPECT_EQ(rightUp.modifiers, btnState) << "only a press is a control-click";

    const EventRecord drag
        = Convert(MouseEvent(QEvent::MouseMove, Qt::NoButton, local, global, Qt::LeftButton, Qt::ShiftModifier));
    EXPECT_EQ(drag.what, osEvt);
    EXPECT_EQ(drag.message, 0xFA000000u);
    EXPECT_EQ(drag.modifiers, shiftKey);

    const EventRecord doubleClick = Convert(MouseEvent(QEvent::MouseButtonDblClick, Qt::LeftButton, local, global));
    EXPECT_EQ(doubleClick.what, mouseDown);

    // Screen points beyond 16 bits are clamped.
    const EventRecord far
        = Convert(MouseEvent(QEvent::MouseButtonPress, Qt::LeftButton, local, QPointF(70000, -70000)));
    EXPECT_EQ(far.where.h, INT16_MAX);
    EXPECT_EQ(far.where.v, INT16_MIN);

    const QEvent other(QEvent::Wheel);
    EXPECT_EQ(Convert(other).what, nullEvent);
}

TEST_F(EventConversion, TicksAdvanceAtSixtyASecond)
{
    const uint32_t first = TickCount();
    viewtest::spin(120);
    const uint32_t later = TickCount();
    EXPECT_GE(later - first, 6u);
    EXPECT_LE(later - first, 60u);
}

using EventDeliveryTest = ViewFixture;

TEST_F(EventDeliveryTest, NothingReachesThePluginBeforeTheViewStarts)
{
    auto press = MouseEvent(QEvent::MouseButtonPress, Qt::LeftButton, { 5, 5 }, { 30, 20 });
    QCoreApplication::sendEvent(view, &press);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    QCoreApplication::sendEvent(view, &key);
    view->cut();
    EXPECT_FALSE(view->sendUpdateEvent());
    EXPECT_TRUE(control->calls.empty());
}

TEST_F(EventDeliveryTest, KeysRepeatAsPressesAndReleaseOnce)
{
    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    control->events.clear();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, "x", true);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x", true);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, "x");
    for (QKeyEvent* event : { &press, &repeatRelease, &repeat, &release })
        QCoreApplication::sendEvent(view, event);
    std::vector<EventKind> kinds;
    for (const EventRecord& event : control->events)
        kinds.push_back(event.what);
    EXPECT_EQ(kinds, (std::vector<EventKind> { keyDown, keyDown, keyUp }));
    for (const EventRecord& event : control->events)
        EXPECT_EQ(event.message, MakeKeyMessage(7, 'x'));
}

TEST_F(EventDeliveryTest, RightClicksAndDragsFollowTheirRules)
{
    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    control->events.clear();
    const QPointF local(5, 5), global(300, 200);
    auto rightDown = MouseEvent(QEvent::MouseButtonPress, Qt::RightButton, local, global, Qt::RightButton);
    auto rightUp = MouseEvent(QEvent::MouseButtonRelease, Qt::RightButton, local, global);

    // Not sent: the plug-in sees only the release.
    QCoreApplication::sendEvent(view, &rightDown);
    QCoreApplication::sendEvent(view, &rightUp);
    ASSERT_EQ(control->events.size(), 1u);
    EXPECT_EQ(control->events[0].what, mouseUp);

    // Sent: a control-click, then the release.
    control->events.clear();
    view->setSendRightClick(true);
    QCoreApplication::sendEvent(view, &rightDown);
    QCoreApplication::sendEvent(view, &rightUp);
    ASSERT_EQ(control->events.size(), 2u);
    EXPECT_EQ(control->events[0].what, mouseDown);
    EXPECT_TRUE(control->events[0].modifiers & controlKey);
    EXPECT_EQ(control->events[1].what, mouseUp);

    // Every drag event reaches the plug-in as a mouse-up.
    control->events.clear();
    auto down = MouseEvent(QEvent::MouseButtonPress, Qt::LeftButton, local, global, Qt::LeftButton);
    auto drag = MouseEvent(QEvent::MouseMove, Qt::NoButton, { 8, 9 }, { 303, 204 }, Qt::LeftButton);
    auto up = MouseEvent(QEvent::MouseButtonRelease, Qt::LeftButton, { 8, 9 }, { 303, 204 });
    for (QMouseEvent* event : { &down, &drag, &drag, &up })
        QCoreApplication::sendEvent(view, event);
    std::vector<EventKind> kinds;
    for (const EventRecord& event : control->events)
        kinds.push_back(event.what);
    EXPECT_EQ(kinds, (std::vector<EventKind> { mouseDown, mouseUp, mouseUp, mouseUp }));
    EXPECT_EQ(control->events[1].where.h, 303);
    EXPECT_EQ(control->events[1].where.v, 204);
}

TEST_F(EventDeliveryTest, MiddleClicksReachThePluginAsOtherButtonClicks)
{
    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    // The middle button never pans a draggable movie: the plug-in hears it all the same.
    view->setCanDrag(true);
    control->events.clear();
    const QPointF local(5, 5), global(300, 200);
    auto down = MouseEvent(QEvent::MouseButtonPress, Qt::MiddleButton, local, global, Qt::MiddleButton);
    auto up = MouseEvent(QEvent::MouseButtonRelease, Qt::MiddleButton, local, global);
    QCoreApplication::sendEvent(view, &down);
    EXPECT_FALSE(view->inDrag());
    QCoreApplication::sendEvent(view, &up);
    ASSERT_EQ(control->events.size(), 2u);
    EXPECT_EQ(control->events[0].what, mouseDown);
    EXPECT_EQ(control->events[1].what, mouseUp);
    for (const EventRecord& event : control->events) {
        EXPECT_EQ(event.modifiers, btnState) << "not the main button, and no control-click";
        EXPECT_EQ(event.where.h, 300);
    }
}

TEST_F(EventDeliveryTest, MovieDraggingPansWithinTheLimit)
{
    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    view->setOriginalRect(0, 0, 3999, 1999); // 4000 by 2000 twips in a 200 by 100 pixel view: 20 twips a pixel
    view->setCanDrag(true);
    control->events.clear();
    control->calls.clear();

    auto down = MouseEvent(QEvent::MouseButtonPress, Qt::LeftButton, { 50, 50 }, { 500, 500 }, Qt::LeftButton);
    QCoreApplication::sendEvent(view, &down);
    EXPECT_TRUE(view->inDrag());
    // Right 10 and down 5 pixels: the shown rectangle moves left 200 and up 100 twips, so the picture follows.
    auto drag = MouseEvent(QEvent::MouseMove, Qt::NoButton, { 60, 55 }, { 510, 505 }, Qt::LeftButton);
    QCoreApplication::sendEvent(view, &drag);
    EXPECT_EQ(view->currentRect().left, -200);
    EXPECT_EQ(view->currentRect().top, -100);
    EXPECT_EQ(view->currentRect().right, 3800);
    EXPECT_EQ(control->callsStartingWith("invoke SetZoomRect").back(), "invoke SetZoomRect -200 -100 3800 1900");

    // Far beyond the limit: the rectangle stops at the limit's edges with its size unchanged.
    auto far = MouseEvent(QEvent::MouseMove, Qt::NoButton, { 5000, 5000 }, { 5450, 5450 }, Qt::LeftButton);
    QCoreApplication::sendEvent(view, &far);
    EXPECT_EQ(view->currentRect().left, -14400);
    EXPECT_EQ(view->currentRect().top, -14400);
    EXPECT_EQ(view->currentRect().right, -14400 + 4000);
    EXPECT_EQ(view->currentRect().bottom, -14400 + 2000);
    auto back = MouseEvent(QEvent::MouseMove, Qt::NoButton, { -9000, -9000 }, { -8550, -8550 }, Qt::LeftButton);
    QCoreApplication::sendEvent(view, &back);
    EXPECT_EQ(view->currentRect().right, 4000 + 14400);
    EXPECT_EQ(view->currentRect().bottom, 2000 + 14400);

    auto up = MouseEvent(QEvent::MouseButtonRelease, Qt::LeftButton, { 5, 5 }, { 450, 450 });
    QCoreApplication::sendEvent(view, &up);
    EXPECT_FALSE(view->inDrag());
    EXPECT_TRUE(control->events.empty()) << "no mouse event reaches the plug-in while dragging the movie";
}

TEST_F(EventDeliveryTest, EditingCommandsAreCommandKeyPresses)
{
    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    struct Case {
        std::function<void()> command;
        uint32_t message;
    };
    const std::vector<Case> cases = {
        { [&] { view->cut(); }, 0x0778 },
        { [&] { view->copy(); }, 0x0863 },
        { [&] { view->paste(); }, 0x0976 },
        { [&] { view->selectAll(); }, 0x0061 },
    };
    for (const Case& c : cases) {
        control->events.clear();
        c.command();
        ASSERT_EQ(control->events.size(), 1u) << "no key-up follows";
        EXPECT_EQ(control->events[0].what, keyDown);
        EXPECT_EQ(control->events[0].message, c.message);
        EXPECT_TRUE(control->events[0].modifiers & cmdKey);
    }
}

// An input method's composing text reaches the plug-in as a composition event whose text it reads meanwhile;
// what the input method commits ends the composing first and is typed character by character.
TEST_F(EventDeliveryTest, InputMethodTextReachesThePlugin)
{
    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    control->events.clear();
    std::vector<std::string> composed;
    control->during = [&](const std::string&, NPP instance, void* argument) {
        const auto* event = static_cast<const EventRecord*>(argument);
        char* text = nullptr;
        if (event && event->what == ReelfinchCompositionEvent
            && control->browser->getvalue(instance, NPNVReelfinchCompositionText, &text) == NPERR_NO_ERROR && text) {
            composed.push_back(text);
            control->browser->memfree(text);
        }
    };
    QInputMethodEvent preedit(QString::fromUtf8("かん"), { { QInputMethodEvent::Cursor, 1, 1 } });
    QCoreApplication::sendEvent(view, &preedit);
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("漢字"));
    QCoreApplication::sendEvent(view, &commit);
    control->during = nullptr;
    ASSERT_EQ(control->events.size(), 4u);
    EXPECT_EQ(control->events[0].what, ReelfinchCompositionEvent);
    EXPECT_EQ(control->events[0].message, 1u);
    EXPECT_EQ(control->events[1].what, ReelfinchCompositionEvent);
    EXPECT_EQ(control->events[1].message, ReelfinchNoCaret);
    EXPECT_EQ(control->events[2].what, ReelfinchTextInputEvent);
    EXPECT_EQ(control->events[2].message, 0x6F22u);
    EXPECT_EQ(control->events[3].message, 0x5B57u);
    EXPECT_EQ(composed, (std::vector<std::string> { "かん", "" }));
    // Between such events the host has no composing text to tell.
    char* text = nullptr;
    EXPECT_EQ(control->browser->getvalue(control->instance, NPNVReelfinchCompositionText, &text), NPERR_GENERIC_ERROR);
}

TEST_F(EventDeliveryTest, FocusChangesSendFocusEventsOnce)
{
    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    view->setHasFocus(false);
    control->events.clear();
    view->setHasFocus(true);
    view->setHasFocus(true);
    view->setHasFocus(false);
    ASSERT_EQ(control->events.size(), 2u);
    EXPECT_EQ(control->events[0].what, getFocusEvent);
    EXPECT_EQ(control->events[1].what, loseFocusEvent);

    // An update event during a set-window call is dropped, not queued.
    control->events.clear();
    control->during = [this](const std::string& call, NPP, void*) {
        if (call == kSetWindow) {
            EXPECT_FALSE(view->sendUpdateEvent());
        }
    };
    view->move(25, 10);
    control->during = nullptr;
    EXPECT_TRUE(control->events.empty());
}

TEST_F(EventDeliveryTest, UpdateEventsPaintGreenUnderThePluginThenRestoreThePort)
{
    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    CGrafPtr port = GetWindowPort(view->windowRef());
    Rect clipDuring {};
    uint32_t pixelDuring = 0;
    control->during = [&](const std::string& call, NPP, void*) {
        if (call != kUpdateEvent)
            return;
        GrafPtr current = nullptr;
        GetPort(&current);
        ASSERT_EQ(current, port);
        MacRegion clip;
        GetClip(&clip);
        GetRegionBounds(&clip, &clipDuring);
        pixelDuring = port->pixels[size_t(10) * 400 + 20];
    };
    EXPECT_TRUE(view->sendUpdateEvent());
    control->during = nullptr;
    // The clip is the view's area in its own (local) coordinates, and the backdrop is green inside it only.
    EXPECT_TRUE(clipDuring.left == 0 && clipDuring.top == 0 && clipDuring.right == 200 && clipDuring.bottom == 100);
    EXPECT_EQ(pixelDuring, 0xFF00FF00u);
    EXPECT_EQ(port->pixels[size_t(9) * 400 + 19], 0xFF000000u);
    MacRegion update;
    GetWindowRegion(view->windowRef(), kWindowUpdateRgn, &update);
    EXPECT_TRUE(EmptyRgn(&update)) << "what the update invalidated it validates again";
    const auto updates = eventsWithCode(updateEvt);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].message, view->windowRef()->windowNumber);
}

TEST_F(EventDeliveryTest, EnteringAndLeavingAdjustTheCursorOnlyWhileStarted)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(325, 215));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(view, &enter);
    QCoreApplication::sendEvent(view, &leave);
    EXPECT_TRUE(control->events.empty());

    ASSERT_TRUE(view->start());
    view->stopNullEvents();
    control->events.clear();
    QCoreApplication::sendEvent(view, &enter);
    QCoreApplication::sendEvent(view, &leave);
    ASSERT_EQ(control->events.size(), 2u);
    EXPECT_EQ(control->events[0].what, adjustCursorEvent);
    EXPECT_EQ(control->events[0].where.h, 325);
    EXPECT_EQ(control->events[0].where.v, 215);
    EXPECT_EQ(control->events[1].what, adjustCursorEvent);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
}
