#include "MacKeyCodes.h"

#include <unordered_map>

namespace {

// clang-format off
// Virtual key codes of the US keyboard.
enum : uint8_t {
    kVK_ANSI_A = 0x00, kVK_ANSI_S = 0x01, kVK_ANSI_D = 0x02, kVK_ANSI_F = 0x03, kVK_ANSI_H = 0x04,
    kVK_ANSI_G = 0x05, kVK_ANSI_Z = 0x06, kVK_ANSI_X = 0x07, kVK_ANSI_C = 0x08, kVK_ANSI_V = 0x09,
    kVK_ANSI_B = 0x0B, kVK_ANSI_Q = 0x0C, kVK_ANSI_W = 0x0D, kVK_ANSI_E = 0x0E, kVK_ANSI_R = 0x0F,
    kVK_ANSI_Y = 0x10, kVK_ANSI_T = 0x11, kVK_ANSI_1 = 0x12, kVK_ANSI_2 = 0x13, kVK_ANSI_3 = 0x14,
    kVK_ANSI_4 = 0x15, kVK_ANSI_6 = 0x16, kVK_ANSI_5 = 0x17, kVK_ANSI_Equal = 0x18, kVK_ANSI_9 = 0x19,
    kVK_ANSI_7 = 0x1A, kVK_ANSI_Minus = 0x1B, kVK_ANSI_8 = 0x1C, kVK_ANSI_0 = 0x1D,
    kVK_ANSI_RightBracket = 0x1E, kVK_ANSI_O = 0x1F, kVK_ANSI_U = 0x20, kVK_ANSI_LeftBracket = 0x21,
    kVK_ANSI_I = 0x22, kVK_ANSI_P = 0x23, kVK_Return = 0x24, kVK_ANSI_L = 0x25, kVK_ANSI_J = 0x26,
    kVK_ANSI_Quote = 0x27, kVK_ANSI_K = 0x28, kVK_ANSI_Semicolon = 0x29, kVK_ANSI_Backslash = 0x2A,
    kVK_ANSI_Comma = 0x2B, kVK_ANSI_Slash = 0x2C, kVK_ANSI_N = 0x2D, kVK_ANSI_M = 0x2E, kVK_ANSI_Period = 0x2F,
    kVK_Tab = 0x30, kVK_Space = 0x31, kVK_ANSI_Grave = 0x32, kVK_Delete = 0x33, kVK_Escape = 0x35,
    kVK_Command = 0x37, kVK_Shift = 0x38, kVK_CapsLock = 0x39, kVK_Option = 0x3A, kVK_Control = 0x3B,
    kVK_F17 = 0x40, kVK_ANSI_KeypadDecimal = 0x41, kVK_ANSI_KeypadMultiply = 0x43, kVK_ANSI_KeypadPlus = 0x45,
    kVK_ANSI_KeypadClear = 0x47, kVK_VolumeUp = 0x48, kVK_VolumeDown = 0x49, kVK_Mute = 0x4A,
    kVK_ANSI_KeypadDivide = 0x4B, kVK_ANSI_KeypadEnter = 0x4C, kVK_ANSI_KeypadMinus = 0x4E, kVK_F18 = 0x4F,
    kVK_F19 = 0x50, kVK_ANSI_KeypadEquals = 0x51, kVK_ANSI_Keypad0 = 0x52, kVK_ANSI_Keypad1 = 0x53,
    kVK_ANSI_Keypad2 = 0x54, kVK_ANSI_Keypad3 = 0x55, kVK_ANSI_Keypad4 = 0x56, kVK_ANSI_Keypad5 = 0x57,
    kVK_ANSI_Keypad6 = 0x58, kVK_ANSI_Keypad7 = 0x59, kVK_F20 = 0x5A, kVK_ANSI_Keypad8 = 0x5B,
    kVK_ANSI_Keypad9 = 0x5C, kVK_F5 = 0x60, kVK_F6 = 0x61, kVK_F7 = 0x62, kVK_F3 = 0x63, kVK_F8 = 0x64,
    kVK_F9 = 0x65, kVK_F11 = 0x67, kVK_F13 = 0x69, kVK_F16 = 0x6A, kVK_F14 = 0x6B, kVK_F10 = 0x6D,
    kVK_F12 = 0x6F, kVK_F15 = 0x71, kVK_Help = 0x72, kVK_Home = 0x73, kVK_PageUp = 0x74,
    kVK_ForwardDelete = 0x75, kVK_F4 = 0x76, kVK_End = 0x77, kVK_F2 = 0x78, kVK_PageDown = 0x79, kVK_F1 = 0x7A,
    kVK_LeftArrow = 0x7B, kVK_RightArrow = 0x7C, kVK_DownArrow = 0x7D, kVK_UpArrow = 0x7E,
};
// clang-format on

// Classic character codes of keys that type no text.
enum : uint8_t {
    kHomeCharCode = 0x01,
    kEnterCharCode = 0x03,
    kEndCharCode = 0x04,
    kHelpCharCode = 0x05,
    kBackspaceCharCode = 0x08,
    kTabCharCode = 0x09,
    kPageUpCharCode = 0x0B,
    kPageDownCharCode = 0x0C,
    kReturnCharCode = 0x0D,
    kFunctionKeyCharCode = 0x10,
    kEscapeCharCode = 0x1B,
    kClearCharCode = 0x1B,
    kLeftArrowCharCode = 0x1C,
    kRightArrowCharCode = 0x1D,
    kUpArrowCharCode = 0x1E,
    kDownArrowCharCode = 0x1F,
    kDeleteCharCode = 0x7F,
};

const std::unordered_map<int, uint8_t>& MainKeys()
{
    // clang-format off
    static const std::unordered_map<int, uint8_t> table = {
        {Qt::Key_A, kVK_ANSI_A}, {Qt::Key_B, kVK_ANSI_B}, {Qt::Key_C, kVK_ANSI_C}, {Qt::Key_D, kVK_ANSI_D},
        {Qt::Key_E, kVK_ANSI_E}, {Qt::Key_F, kVK_ANSI_F}, {Qt::Key_G, kVK_ANSI_G}, {Qt::Key_H, kVK_ANSI_H},
        {Qt::Key_I, kVK_ANSI_I}, {Qt::Key_J, kVK_ANSI_J}, {Qt::Key_K, kVK_ANSI_K}, {Qt::Key_L, kVK_ANSI_L},
        {Qt::Key_M, kVK_ANSI_M}, {Qt::Key_N, kVK_ANSI_N}, {Qt::Key_O, kVK_ANSI_O}, {Qt::Key_P, kVK_ANSI_P},
        {Qt::Key_Q, kVK_ANSI_Q}, {Qt::Key_R, kVK_ANSI_R}, {Qt::Key_S, kVK_ANSI_S}, {Qt::Key_T, kVK_ANSI_T},
        {Qt::Key_U, kVK_ANSI_U}, {Qt::Key_V, kVK_ANSI_V}, {Qt::Key_W, kVK_ANSI_W}, {Qt::Key_X, kVK_ANSI_X},
        {Qt::Key_Y, kVK_ANSI_Y}, {Qt::Key_Z, kVK_ANSI_Z},
        // Digits and the symbols Shift gives on them.
        {Qt::Key_1, kVK_ANSI_1}, {Qt::Key_Exclam, kVK_ANSI_1}, {Qt::Key_2, kVK_ANSI_2}, {Qt::Key_At, kVK_ANSI_2},
        {Qt::Key_3, kVK_ANSI_3}, {Qt::Key_NumberSign, kVK_ANSI_3}, {Qt::Key_4, kVK_ANSI_4},
        {Qt::Key_Dollar, kVK_ANSI_4}, {Qt::Key_5, kVK_ANSI_5}, {Qt::Key_Percent, kVK_ANSI_5},
        {Qt::Key_6, kVK_ANSI_6}, {Qt::Key_AsciiCircum, kVK_ANSI_6}, {Qt::Key_7, kVK_ANSI_7},
        {Qt::Key_Ampersand, kVK_ANSI_7}, {Qt::Key_8, kVK_ANSI_8}, {Qt::Key_Asterisk, kVK_ANSI_8},
        {Qt::Key_9, kVK_ANSI_9}, {Qt::Key_ParenLeft, kVK_ANSI_9}, {Qt::Key_0, kVK_ANSI_0},
        {Qt::Key_ParenRight, kVK_ANSI_0},
        // Punctuation, with its shifted symbols.
        {Qt::Key_Minus, kVK_ANSI_Minus}, {Qt::Key_Underscore, kVK_ANSI_Minus}, {Qt::Key_Equal, kVK_ANSI_Equal},
        {Qt::Key_Plus, kVK_ANSI_Equal}, {Qt::Key_BracketLeft, kVK_ANSI_LeftBracket},
        {Qt::Key_BraceLeft, kVK_ANSI_LeftBracket}, {Qt::Key_BracketRight, kVK_ANSI_RightBracket},
        {Qt::Key_BraceRight, kVK_ANSI_RightBracket}, {Qt::Key_Backslash, kVK_ANSI_Backslash},
        {Qt::Key_Bar, kVK_ANSI_Backslash}, {Qt::Key_Semicolon, kVK_ANSI_Semicolon},
        {Qt::Key_Colon, kVK_ANSI_Semicolon}, {Qt::Key_Apostrophe, kVK_ANSI_Quote},
        {Qt::Key_QuoteDbl, kVK_ANSI_Quote}, {Qt::Key_Comma, kVK_ANSI_Comma}, {Qt::Key_Less, kVK_ANSI_Comma},
        {Qt::Key_Period, kVK_ANSI_Period}, {Qt::Key_Greater, kVK_ANSI_Period}, {Qt::Key_Slash, kVK_ANSI_Slash},
        {Qt::Key_Question, kVK_ANSI_Slash}, {Qt::Key_QuoteLeft, kVK_ANSI_Grave},
        {Qt::Key_AsciiTilde, kVK_ANSI_Grave},
        // Editing and movement.
        {Qt::Key_Return, kVK_Return}, {Qt::Key_Enter, kVK_ANSI_KeypadEnter}, {Qt::Key_Tab, kVK_Tab},
        {Qt::Key_Backtab, kVK_Tab}, {Qt::Key_Space, kVK_Space}, {Qt::Key_Backspace, kVK_Delete},
        {Qt::Key_Delete, kVK_ForwardDelete}, {Qt::Key_Escape, kVK_Escape}, {Qt::Key_Help, kVK_Help},
        {Qt::Key_Insert, kVK_Help}, {Qt::Key_Home, kVK_Home}, {Qt::Key_End, kVK_End},
        {Qt::Key_PageUp, kVK_PageUp}, {Qt::Key_PageDown, kVK_PageDown}, {Qt::Key_Left, kVK_LeftArrow},
        {Qt::Key_Right, kVK_RightArrow}, {Qt::Key_Up, kVK_UpArrow}, {Qt::Key_Down, kVK_DownArrow},
        {Qt::Key_Clear, kVK_ANSI_KeypadClear},
        // Modifier keys on their own.
        {Qt::Key_Control, kVK_Command}, {Qt::Key_Meta, kVK_Control}, {Qt::Key_Alt, kVK_Option},
        {Qt::Key_Shift, kVK_Shift}, {Qt::Key_CapsLock, kVK_CapsLock},
        // Function keys.
        {Qt::Key_F1, kVK_F1}, {Qt::Key_F2, kVK_F2}, {Qt::Key_F3, kVK_F3}, {Qt::Key_F4, kVK_F4},
        {Qt::Key_F5, kVK_F5}, {Qt::Key_F6, kVK_F6}, {Qt::Key_F7, kVK_F7}, {Qt::Key_F8, kVK_F8},
        {Qt::Key_F9, kVK_F9}, {Qt::Key_F10, kVK_F10}, {Qt::Key_F11, kVK_F11}, {Qt::Key_F12, kVK_F12},
        {Qt::Key_F13, kVK_F13}, {Qt::Key_F14, kVK_F14}, {Qt::Key_F15, kVK_F15}, {Qt::Key_F16, kVK_F16},
        {Qt::Key_F17, kVK_F17}, {Qt::Key_F18, kVK_F18}, {Qt::Key_F19, kVK_F19}, {Qt::Key_F20, kVK_F20},
        {Qt::Key_VolumeUp, kVK_VolumeUp}, {Qt::Key_VolumeDown, kVK_VolumeDown}, {Qt::Key_VolumeMute, kVK_Mute},
    };
    // clang-format on
    return table;
}

// Keys Qt reports with the keypad modifier.
const std::unordered_map<int, uint8_t>& KeypadKeys()
{
    // clang-format off
    static const std::unordered_map<int, uint8_t> table = {
        {Qt::Key_0, kVK_ANSI_Keypad0}, {Qt::Key_1, kVK_ANSI_Keypad1}, {Qt::Key_2, kVK_ANSI_Keypad2},
        {Qt::Key_3, kVK_ANSI_Keypad3}, {Qt::Key_4, kVK_ANSI_Keypad4}, {Qt::Key_5, kVK_ANSI_Keypad5},
        {Qt::Key_6, kVK_ANSI_Keypad6}, {Qt::Key_7, kVK_ANSI_Keypad7}, {Qt::Key_8, kVK_ANSI_Keypad8},
        {Qt::Key_9, kVK_ANSI_Keypad9}, {Qt::Key_Period, kVK_ANSI_KeypadDecimal},
        {Qt::Key_Comma, kVK_ANSI_KeypadDecimal}, {Qt::Key_Asterisk, kVK_ANSI_KeypadMultiply},
        {Qt::Key_Plus, kVK_ANSI_KeypadPlus}, {Qt::Key_Minus, kVK_ANSI_KeypadMinus},
        {Qt::Key_Slash, kVK_ANSI_KeypadDivide}, {Qt::Key_Equal, kVK_ANSI_KeypadEquals},
        {Qt::Key_Enter, kVK_ANSI_KeypadEnter}, {Qt::Key_Clear, kVK_ANSI_KeypadClear},
    };
    // clang-format on
    return table;
}

} // namespace

uint8_t MacKeyCodeForQtKey(int qtKey, bool keypad)
{
    if (keypad) {
        const auto& pad = KeypadKeys();
        if (auto it = pad.find(qtKey); it != pad.end())
            return it->second;
    }
    const auto& keys = MainKeys();
    auto it = keys.find(qtKey);
    return it == keys.end() ? kUnknownMacKeyCode : it->second;
}

uint8_t MacCharCodeForQtKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Home:
        return kHomeCharCode;
    case Qt::Key_Enter:
        return kEnterCharCode;
    case Qt::Key_End:
        return kEndCharCode;
    case Qt::Key_Help:
    case Qt::Key_Insert:
        return kHelpCharCode;
    case Qt::Key_Backspace:
        return kBackspaceCharCode;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return kTabCharCode;
    case Qt::Key_PageUp:
        return kPageUpCharCode;
    case Qt::Key_PageDown:
        return kPageDownCharCode;
    case Qt::Key_Return:
        return kReturnCharCode;
    case Qt::Key_Escape:
        return kEscapeCharCode;
    case Qt::Key_Clear:
        return kClearCharCode;
    case Qt::Key_Left:
        return kLeftArrowCharCode;
    case Qt::Key_Right:
        return kRightArrowCharCode;
    case Qt::Key_Up:
        return kUpArrowCharCode;
    case Qt::Key_Down:
        return kDownArrowCharCode;
    case Qt::Key_Delete:
        return kDeleteCharCode;
    default:
        if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F20)
            return kFunctionKeyCharCode;
        return 0;
    }
}

EventModifiers MacModifiersFromQt(Qt::KeyboardModifiers modifiers)
{
    EventModifiers result = 0;
    if (modifiers & Qt::ControlModifier)
        result |= cmdKey;
    if (modifiers & Qt::MetaModifier)
        result |= controlKey;
    if (modifiers & Qt::AltModifier)
        result |= optionKey;
    if (modifiers & Qt::ShiftModifier)
        result |= shiftKey;
    return result;
}
