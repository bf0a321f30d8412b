"""Screen positions of the main window's controls on a 1280 x 1024 screen.

Rectangles are (left, top, right, bottom) with right and bottom inclusive.
The window fills the screen and has a border of one pixel: a control at
(x, y) in the window's client area stands at (x + 1, y + 1) on the screen.
Panel_cy stands at (405, 395) in the client area; Panel_END lies 8 pixels
inside it.
"""

SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024
BORDER = 1

TITLE = "欢迎使用奥数! 请登录..."
WINDOW_CLASS = "TmainForm"

BT1 = (451, 669, 562, 697)    # 112 x 29 at Panel_END (37, 265)
BT2 = (578, 669, 689, 697)    # 112 x 29 at Panel_END (164, 265)
BEND = (1259, 3, 1277, 21)    # the corner button "×", 19 x 19
BT1_WIDE = (451, 669, 678, 697)  # BT1 alone on the panel, 228 wide
BJS = (1173, 127, 1276, 154)  # top bar, right: 104 x 28 at W - 110 in Panel5

PANEL_CY = (406, 396, 874, 728)  # 469 x 333, centred 50 pixels below the middle
# The panel artwork above the notice panel Pts: the same on every screen
# that shows Panel_cy, and covered by nothing.
PANEL_ART = (416, 406, 864, 571)
PTS_SHORT = (435, 604, 702, 652)  # Pts in its short form (268 x 49 at 29, 208)

# Where the pointer rests between clicks: the bottom strip, away from every
# button and from the banner's top edge.
POINTER_REST = (640, 1018)


def centre(rect):
    left, top, right, bottom = rect
    return (left + right) // 2, (top + bottom) // 2
