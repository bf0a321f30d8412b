"""Screen positions of the main window's controls on a 1280 x 1024 screen.

Rectangles are (left, top, right, bottom) with right and bottom inclusive.
Panel_cy stands at (405, 395); Panel_END lies 8 pixels inside it.
"""

SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024

TITLE = "欢迎使用奥数! 请登录..."
WINDOW_CLASS = "TmainForm"

BT1 = (450, 668, 561, 696)    # 112 x 29 at Panel_END (37, 265)
BT2 = (577, 668, 688, 696)    # 112 x 29 at Panel_END (164, 265)
BEND = (1258, 2, 1276, 20)    # the corner button "×", 19 x 19
BT1_WIDE = (450, 668, 677, 696)  # BT1 alone on the panel, 228 wide
BJS = (1172, 126, 1275, 153)  # top bar, right: 104 x 28 at W - 110 in Panel5

PANEL_CY = (405, 395, 873, 727)  # 469 x 333, centred 50 pixels below the middle
# The panel artwork above the notice panel Pts: the same on every screen
# that shows Panel_cy, and covered by nothing.
PANEL_ART = (415, 405, 863, 570)
PTS_SHORT = (434, 603, 701, 651)  # Pts in its short form (268 x 49 at 29, 208)

# Where the pointer rests between clicks: the bottom strip, away from every
# button and from the banner's top edge.
POINTER_REST = (640, 1018)


def centre(rect):
    left, top, right, bottom = rect
    return (left + right) // 2, (top + bottom) // 2
