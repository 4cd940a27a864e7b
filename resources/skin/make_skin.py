#!/usr/bin/env python3
"""Writes the skin's SVG pictures into this folder: a dark gunmetal media-player strip with a blue-green LCD.

Every picture is drawn from a few shared pieces (button faces, glyphs, track pieces) so the skin stays one
coherent look; edit the pieces here and run the script again rather than editing the SVG files by hand.
Sizes are in device-independent pixels; the application renders the SVGs at the screen's pixel ratio.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# Palette.
GLYPH = "#d8dee6"          # glyph on a normal face
GLYPH_ON = "#5ff2e0"       # glyph while pressed / switched on
GLYPH_OFF = "#59606a"      # glyph of a disabled button
LCD_TEXT = "#9ff5e6"


def svg(width, height, body, defs=""):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}">\n<defs>{defs}</defs>\n{body}\n</svg>\n')


def face_defs(kind):
    """Gradients of a button face: normal (raised), pressed (sunken, lit), disabled (flat)."""
    if kind == "pressed":
        top, bottom, rim = "#15191e", "#2a3038", "#0c0f12"
    elif kind == "disabled":
        top, bottom, rim = "#2a2e34", "#24272c", "#1a1d21"
    else:
        top, bottom, rim = "#4a525c", "#23282e", "#101316"
    return (f'<linearGradient id="face" x1="0" y1="0" x2="0" y2="1">'
            f'<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/></linearGradient>'
            f'<linearGradient id="rim" x1="0" y1="0" x2="0" y2="1">'
            f'<stop offset="0" stop-color="#6b7480"/><stop offset="1" stop-color="{rim}"/></linearGradient>'
            f'<radialGradient id="glow" cx="0.5" cy="0.5" r="0.5">'
            f'<stop offset="0" stop-color="{GLYPH_ON}" stop-opacity="0.35"/>'
            f'<stop offset="1" stop-color="{GLYPH_ON}" stop-opacity="0"/></radialGradient>')


def round_face(size, kind):
    r = size / 2
    glow = f'<circle cx="{r}" cy="{r}" r="{r - 2}" fill="url(#glow)"/>' if kind == "pressed" else ""
    return (f'<circle cx="{r}" cy="{r}" r="{r - 0.5}" fill="url(#rim)"/>'
            f'<circle cx="{r}" cy="{r}" r="{r - 1.5}" fill="url(#face)"/>{glow}')


def rect_face(w, h, kind):
    glow = f'<rect x="2" y="2" width="{w - 4}" height="{h - 4}" rx="3" fill="url(#glow)"/>' if kind == "pressed" else ""
    return (f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="4" fill="url(#rim)"/>'
            f'<rect x="1.5" y="1.5" width="{w - 3}" height="{h - 3}" rx="3" fill="url(#face)"/>{glow}')


def glyph_color(kind, on=False):
    if kind == "disabled":
        return GLYPH_OFF
    return GLYPH_ON if kind == "pressed" or on else GLYPH


# Glyphs, drawn in a 24x24 box centred at (12, 12); the small buttons scale them down.
def g_play(c):
    return f'<path d="M9 6.5 L18 12 L9 17.5 Z" fill="{c}"/>'


def g_pause(c):
    return f'<rect x="8" y="7" width="3" height="10" fill="{c}"/><rect x="13" y="7" width="3" height="10" fill="{c}"/>'


def g_fwd(c):
    return f'<path d="M8 7 L14 12 L8 17 Z" fill="{c}"/><rect x="15" y="7" width="2" height="10" fill="{c}"/>'


def g_back(c):
    return f'<path d="M16 7 L10 12 L16 17 Z" fill="{c}"/><rect x="7" y="7" width="2" height="10" fill="{c}"/>'


def g_next(c):
    return (f'<path d="M6 7 L11.5 12 L6 17 Z" fill="{c}"/><path d="M11.5 7 L17 12 L11.5 17 Z" fill="{c}"/>'
            f'<rect x="17" y="7" width="2" height="10" fill="{c}"/>')


def g_prev(c):
    return (f'<path d="M18 7 L12.5 12 L18 17 Z" fill="{c}"/><path d="M12.5 7 L7 12 L12.5 17 Z" fill="{c}"/>'
            f'<rect x="5" y="7" width="2" height="10" fill="{c}"/>')


def g_about(c):
    return (f'<circle cx="12" cy="12" r="7" fill="none" stroke="{c}" stroke-width="1.8"/>'
            f'<rect x="11" y="11" width="2" height="5" fill="{c}"/><circle cx="12" cy="8.5" r="1.2" fill="{c}"/>')


def g_info(c):
    return (f'<rect x="6" y="5" width="12" height="14" rx="1.5" fill="none" stroke="{c}" stroke-width="1.6"/>'
            f'<rect x="8.5" y="8" width="7" height="1.6" fill="{c}"/><rect x="8.5" y="11.2" width="7" height="1.6" fill="{c}"/>'
            f'<rect x="8.5" y="14.4" width="4.5" height="1.6" fill="{c}"/>')


def g_playlist(c):
    rows = "".join(f'<rect x="5" y="{y}" width="2" height="2" fill="{c}"/><rect x="9" y="{y}" width="10" height="2" fill="{c}"/>'
                   for y in (7, 11, 15))
    return rows


def g_repeat(c):
    return (f'<path d="M6 13 V10 a2 2 0 0 1 2 -2 H16" fill="none" stroke="{c}" stroke-width="1.8"/>'
            f'<path d="M15 5.5 L18.5 8 L15 10.5 Z" fill="{c}"/>'
            f'<path d="M18 11 V14 a2 2 0 0 1 -2 2 H8" fill="none" stroke="{c}" stroke-width="1.8"/>'
            f'<path d="M9 13.5 L5.5 16 L9 18.5 Z" fill="{c}"/>')


def g_repeat_all(c):
    return g_repeat(c) + (f'<text x="12" y="14.2" font-family="DejaVu Sans, sans-serif" font-size="5.5" '
                          f'font-weight="bold" text-anchor="middle" fill="{c}">ALL</text>')


def g_repeat_one(c):
    return g_repeat(c) + (f'<text x="12" y="14.6" font-family="DejaVu Sans, sans-serif" font-size="7" '
                          f'font-weight="bold" text-anchor="middle" fill="{c}">1</text>')


def g_shuffle(c):
    return (f'<path d="M5 8 H8 C12 8 12 16 16 16 H17" fill="none" stroke="{c}" stroke-width="1.8"/>'
            f'<path d="M5 16 H8 C12 16 12 8 16 8 H17" fill="none" stroke="{c}" stroke-width="1.8"/>'
            f'<path d="M16.5 5.5 L19.5 8 L16.5 10.5 Z" fill="{c}"/><path d="M16.5 13.5 L19.5 16 L16.5 18.5 Z" fill="{c}"/>')


def g_1x1(c):
    return (f'<text x="12" y="15.8" font-family="DejaVu Sans, sans-serif" font-size="10" font-weight="bold" '
            f'text-anchor="middle" fill="{c}">1:1</text>')


def g_fit(c):
    return (f'<rect x="5" y="6" width="14" height="12" fill="none" stroke="{c}" stroke-width="1.4" stroke-dasharray="2 1.5"/>'
            f'<path d="M8 9 L11 9 L8 12 Z M16 15 L13 15 L16 12 Z" fill="{c}"/>')


def g_drag(c):
    return (f'<path d="M12 4 L14.5 7 H13 V11 H17 V9.5 L20 12 L17 14.5 V13 H13 V17 H14.5 L12 20 L9.5 17 H11 V13 H7 '
            f'V14.5 L4 12 L7 9.5 V11 H11 V7 H9.5 Z" fill="{c}"/>')


def g_expand(c):
    return f'<path d="M8 7 L13 12 L8 17 Z M12 7 L17 12 L12 17 Z" fill="{c}"/>'


def g_add(c):
    return f'<rect x="11" y="6" width="2.2" height="12" fill="{c}"/><rect x="6" y="11" width="12" height="2.2" fill="{c}"/>'


def g_del(c):
    return f'<rect x="6" y="11" width="12" height="2.2" fill="{c}"/>'


def button(name, size, glyph, kind, round_=True, on=False, scale=1.0):
    w, h = size
    face = round_face(w, kind) if round_ else rect_face(w, h, kind)
    color = glyph_color(kind, on)
    g = glyph(color)
    # The glyph box is 24x24: scale and centre it on the face.
    gx = (w - 24 * scale) / 2
    gy = (h - 24 * scale) / 2
    body = face + f'<g transform="translate({gx:.2f} {gy:.2f}) scale({scale})">{g}</g>'
    write(name, svg(w, h, body, face_defs(kind)))


def write(name, text):
    with open(os.path.join(HERE, name + ".svg"), "w") as f:
        f.write(text)


PLAY = (30, 30)      # the play/pause button, the strip's largest
TRANSPORT = (24, 24)


def transport():
    for base, glyph in (("fwd", g_fwd), ("back", g_back), ("next", g_next), ("prev", g_prev)):
        button(base, TRANSPORT, glyph, "normal")
        button(base + "_on", TRANSPORT, glyph, "pressed")
        button(base + "_disabled", TRANSPORT, glyph, "disabled")
    button("play", PLAY, g_play, "normal", scale=1.15)
    button("play_on", PLAY, g_play, "pressed", scale=1.15)
    button("play_disabled", PLAY, g_play, "disabled", scale=1.15)
    button("pause", PLAY, g_pause, "normal", on=True, scale=1.15)
    button("pause_on", PLAY, g_pause, "pressed", scale=1.15)


SMALL = (22, 18)


def small_buttons():
    for base, glyph, disabled in (("about", g_about, False), ("info", g_info, True), ("playlist", g_playlist, False),
                                  ("1x1", g_1x1, True), ("fit", g_fit, True), ("drag", g_drag, True),
                                  ("repeat", g_repeat, False), ("shuffle", g_shuffle, False),
                                  ("expand", g_expand, False), ("add", g_add, False), ("del", g_del, False)):
        button(base, SMALL, glyph, "normal", round_=False, scale=0.72)
        button(base + "_on", SMALL, glyph, "pressed", round_=False, scale=0.72)
        if disabled:
            button(base + "_disabled", SMALL, glyph, "disabled", round_=False, scale=0.72)
    # Switched-on looks of the toggles (alternate images), and the repeat-all mixed look of the panel's button.
    button("shuffle_alt", SMALL, g_shuffle, "normal", round_=False, on=True, scale=0.72)
    button("repeat_alt", SMALL, g_repeat_one, "normal", round_=False, on=True, scale=0.72)
    button("ico2_repeat_all", SMALL, g_repeat_all, "normal", round_=False, on=True, scale=0.72)
    button("expand_alt", SMALL, lambda c: f'<g transform="translate(24 0) scale(-1 1)">{g_expand(c)}</g>', "normal",
           round_=False, on=True, scale=0.72)


def icons():
    """16x16 mode icons of the playlist panel."""
    def icon(name, glyph, color):
        write(name, svg(16, 16, f'<g transform="scale({16 / 24})">{glyph(color)}</g>'))
    icon("ico_repeat_item", g_repeat_one, "#1e8c80")
    icon("ico_repeat_all", g_repeat_all, "#1e8c80")
    icon("ico_repeat_off", g_repeat, "#8a9099")
    icon("ico_shuffle_on", g_shuffle, "#1e8c80")
    icon("ico_shuffle_off", g_shuffle, "#8a9099")


def track(prefix, height, cap, fill_top, fill_bottom):
    grad = (f'<linearGradient id="t" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="{fill_top}"/>'
            f'<stop offset="1" stop-color="{fill_bottom}"/></linearGradient>')
    r = height / 2
    w = cap * 2
    # Left cap: the left half of a pill; right cap its mirror; centre a slice of its middle.
    write(prefix + "_left", svg(cap, height, f'<rect x="0" y="0" width="{w}" height="{height}" rx="{r}" fill="#0b0d10"/>'
                                f'<rect x="1" y="1" width="{w}" height="{height - 2}" rx="{r - 1}" fill="url(#t)"/>', grad))
    write(prefix + "_right", svg(cap, height, f'<rect x="{-cap}" y="0" width="{w}" height="{height}" rx="{r}" fill="#0b0d10"/>'
                                 f'<rect x="{-cap - 1}" y="1" width="{w}" height="{height - 2}" rx="{r - 1}" fill="url(#t)"/>', grad))
    write(prefix + "_center", svg(8, height, f'<rect x="0" y="0" width="8" height="{height}" fill="#0b0d10"/>'
                                  f'<rect x="0" y="1" width="8" height="{height - 2}" fill="url(#t)"/>', grad))


def knobs():
    grad = ('<linearGradient id="k" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#f1f4f7"/>'
            '<stop offset="1" stop-color="#9aa3ad"/></linearGradient>')
    # Frame slider: the picture's bottom is the slider's bottom; the track's middle is 7 above it.
    write("progress_knob", svg(10, 14, '<rect x="1.5" y="1.5" width="7" height="11" rx="2" fill="url(#k)" '
                                       'stroke="#111418" stroke-width="1"/>'
                                       f'<rect x="4.4" y="4" width="1.2" height="6" fill="{GLYPH_ON}"/>', grad))
    # Volume and zoom sliders: the picture reaches one below the slider's bottom; the track's middle is 8 above it,
    # so the round knob fills the picture's top ten rows.
    write("slider_knob", svg(10, 14, '<circle cx="5" cy="5" r="4.3" fill="url(#k)" stroke="#111418" stroke-width="1"/>'
                                     f'<circle cx="5" cy="5" r="1.3" fill="{GLYPH_ON}"/>', grad))


def lcd():
    grad = ('<linearGradient id="l" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#0f3b38"/>'
            '<stop offset="0.5" stop-color="#0a2a28"/><stop offset="1" stop-color="#06201e"/></linearGradient>'
            '<linearGradient id="s" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#ffffff" stop-opacity="0.10"/>'
            '<stop offset="1" stop-color="#ffffff" stop-opacity="0"/></linearGradient>')
    h = LCD_HEIGHT
    write("lcd_left", svg(8, h, f'<rect x="0.5" y="0.5" width="20" height="{h - 1}" rx="5" fill="#050607" stroke="#5a636e"/>'
                                f'<rect x="2" y="2" width="20" height="{h - 4}" rx="3.5" fill="url(#l)"/>'
                                f'<rect x="2" y="2" width="20" height="{h / 2 - 2}" rx="3.5" fill="url(#s)"/>', grad))
    write("lcd_right", svg(8, h, f'<rect x="-12.5" y="0.5" width="20" height="{h - 1}" rx="5" fill="#050607" stroke="#5a636e"/>'
                                 f'<rect x="-14" y="2" width="20" height="{h - 4}" rx="3.5" fill="url(#l)"/>'
                                 f'<rect x="-14" y="2" width="20" height="{h / 2 - 2}" rx="3.5" fill="url(#s)"/>', grad))
    write("lcd_center", svg(8, h, f'<rect x="0" y="0" width="8" height="{h}" fill="#050607"/>'
                                  f'<rect x="0" y="0" width="8" height="0.9" fill="#5a636e"/>'
                                  f'<rect x="0" y="{h - 0.9}" width="8" height="0.9" fill="#5a636e"/>'
                                  f'<rect x="0" y="2" width="8" height="{h - 4}" fill="url(#l)"/>'
                                  f'<rect x="0" y="2" width="8" height="{h / 2 - 2}" fill="url(#s)"/>', grad))


def cursors():
    hand = ('M5.5 7.5 V3.2 a1.1 1.1 0 0 1 2.2 0 V7 V2.2 a1.1 1.1 0 0 1 2.2 0 V7 V2.8 a1.1 1.1 0 0 1 2.2 0 V7.5 '
            'V4.4 a1.1 1.1 0 0 1 2.2 0 V10 C14.3 13 12.5 15 10 15 H8.5 C6.5 15 5.6 13.8 4.6 12.4 L2.2 9 '
            'a1.1 1.1 0 0 1 1.8 -1.3 Z')
    fist = ('M4.5 8 V6.5 a1.1 1.1 0 0 1 2.2 0 V6 a1.1 1.1 0 0 1 2.2 0 a1.1 1.1 0 0 1 2.2 0 a1.1 1.1 0 0 1 2.2 0 '
            'V10 C13.3 13 11.8 14.5 9.5 14.5 H8 C6 14.5 4.5 13 4.5 10.5 Z')
    write("open_hand", svg(16, 16, f'<path d="{hand}" fill="#ffffff" stroke="#000000" stroke-width="1"/>'))
    write("closed_hand", svg(16, 16, f'<path d="{fist}" fill="#ffffff" stroke="#000000" stroke-width="1"/>'))
    write("resize", svg(16, 16, '<path d="M3 3 H9 L7 5 L11 9 L13 7 V13 H7 L9 11 L5 7 L3 9 Z" fill="#000000" '
                                'stroke="#ffffff" stroke-width="1" stroke-linejoin="round"/>'))


# The controls panel's geometry (see resources/ui/ControlsWindow.ui): the body is 337 wide, the zoom drawer adds
# 130 to its right; the art marks the columns of the controls laid out on it.
BODY = (337, 128)
DRAWER_WIDTH = 130          # from the body's right edge to the open panel's
DRAWER_WELL = (6, 8, 116, 112)  # the drawer's view inside the zoom box
LCD_HEIGHT = 40
COLUMN_SEPARATORS = (150.5, 278.5)
ROWS = (70, 122)            # the two rows of buttons under the frame slider
ZOOM_ICON = (154, 78)       # beside the zoom slider
VOLUME_ICON = (154, 106)    # beside the volume slider
BODY_RADIUS = 9


def body_defs():
    return ('<linearGradient id="b" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#3a414a"/>'
            '<stop offset="0.06" stop-color="#2c3239"/><stop offset="0.55" stop-color="#22272d"/>'
            '<stop offset="1" stop-color="#16191d"/></linearGradient>'
            '<linearGradient id="e" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#9aa3ad"/>'
            '<stop offset="0.5" stop-color="#4a525c"/><stop offset="1" stop-color="#1c2024"/></linearGradient>'
            '<linearGradient id="w" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#050607"/>'
            '<stop offset="1" stop-color="#2a3038"/></linearGradient>')


def groove_v(x, y0, y1):
    """An engraved vertical line: a dark cut with a lit edge on its right."""
    return (f'<rect x="{x - 0.5}" y="{y0}" width="1" height="{y1 - y0}" fill="#0c0e10"/>'
            f'<rect x="{x + 0.5}" y="{y0}" width="0.8" height="{y1 - y0}" fill="#3f4750"/>')


def g_magnifier(c):
    return (f'<circle cx="5.2" cy="5.2" r="3.6" fill="none" stroke="{c}" stroke-width="1.5"/>'
            f'<path d="M7.8 7.8 L11 11" stroke="{c}" stroke-width="2" stroke-linecap="round"/>')


def g_speaker(c):
    return (f'<path d="M1 4.5 H3.5 L7 1.5 V10.5 L3.5 7.5 H1 Z" fill="{c}"/>'
            f'<path d="M8.8 3.8 a3.2 3.2 0 0 1 0 4.4" fill="none" stroke="{c}" stroke-width="1.1"/>'
            f'<path d="M10.2 2.2 a5.4 5.4 0 0 1 0 7.6" fill="none" stroke="{c}" stroke-width="1.1"/>')


def backgrounds():
    """The controls panel's body, its zoom drawer and the drawer's well."""
    w, h = BODY
    r = BODY_RADIUS
    icon = "#7d8691"
    zx, zy = ZOOM_ICON
    vx, vy = VOLUME_ICON
    body = (f'<rect x="0" y="0" width="{w}" height="{h}" rx="{r}" fill="#07080a"/>'
            f'<rect x="0.8" y="0.8" width="{w - 1.6}" height="{h - 1.6}" rx="{r - 0.8}" fill="url(#e)"/>'
            f'<rect x="1.8" y="1.8" width="{w - 3.6}" height="{h - 3.6}" rx="{r - 1.8}" fill="url(#b)"/>'
            # A lit top edge and the recess the frame slider runs in.
            f'<rect x="{r}" y="2" width="{w - 2 * r}" height="0.7" fill="#59626d"/>'
            f'<rect x="6" y="51" width="{w - 12}" height="16" rx="8" fill="url(#w)" opacity="0.55"/>'
            + groove_v(COLUMN_SEPARATORS[0], ROWS[0] + 2, ROWS[1])
            + groove_v(COLUMN_SEPARATORS[1], ROWS[0] + 2, ROWS[1])
            + f'<g transform="translate({zx} {zy})">{g_magnifier(icon)}</g>'
            + f'<g transform="translate({vx} {vy})">{g_speaker(icon)}</g>')
    write("controls_bg", svg(w, h, body, body_defs()))

    # The drawer slides out from the body's right edge: square on the left, rounded on the right, a little lower
    # than the body; the well frames the view.
    dw = DRAWER_WIDTH
    wx, wy, ww, wh = DRAWER_WELL
    inset = 4
    drawer = (f'<rect x="-{r + 2}" y="{inset}" width="{dw + r + 2}" height="{h - 2 * inset}" rx="{r}" fill="#07080a"/>'
              f'<rect x="-{r + 2}" y="{inset + 0.8}" width="{dw + r + 1.2}" height="{h - 2 * inset - 1.6}" '
              f'rx="{r - 0.8}" fill="url(#e)"/>'
              f'<rect x="-{r + 2}" y="{inset + 1.8}" width="{dw + r + 0.2}" height="{h - 2 * inset - 3.6}" '
              f'rx="{r - 1.8}" fill="url(#b)"/>'
              # The body's shadow where the drawer comes out from under it.
              f'<rect x="0" y="{inset}" width="5" height="{h - 2 * inset}" fill="url(#sh)"/>'
              f'<rect x="{wx - 2}" y="{wy - 2}" width="{ww + 4}" height="{wh + 4}" rx="3" fill="url(#w)"/>'
              f'<rect x="{wx - 1}" y="{wy - 1}" width="{ww + 2}" height="{wh + 2}" fill="#000000"/>')
    shadow = ('<linearGradient id="sh" x1="0" y1="0" x2="1" y2="0"><stop offset="0" stop-color="#000000" '
              'stop-opacity="0.6"/><stop offset="1" stop-color="#000000" stop-opacity="0"/></linearGradient>')
    write("zoom_bg", svg(dw, h, drawer, body_defs() + shadow))


def main():
    transport()
    small_buttons()
    icons()
    track("progress", 6, 4, "#1b6f66", "#0f3f3a")
    track("slider", 4, 3, "#0b0d10", "#2b3138")
    knobs()
    lcd()
    cursors()
    backgrounds()


if __name__ == "__main__":
    main()
