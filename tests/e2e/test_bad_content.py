"""Bad content seen from outside: the real program on Xvfb draws a homework
whose third question has a damaged picture.  The error box leads with the
sentence for the pupil, stderr carries the detail, the drawing wrote
nothing, and the program goes on: the box closes, the exit still works.

Environment: AOSHU_BIN_DIR (default build/bin).
"""

import os
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import killtest  # noqa: E402
import layout  # noqa: E402
import cards  # noqa: E402

GRADE, UNIT = 3, 0
ERROR_BOX_TITLE = "TmainForm"  # the application name, as Qt titles the box


class BadContent(unittest.TestCase):

    def test_a_damaged_picture_stops_the_drawing_in_a_readable_error_box(self):
        self.assertTrue(os.path.exists(os.path.join(harness.BIN_DIR, "aoshu")), "build the program first")
        temp = tempfile.TemporaryDirectory(prefix="aoshu-bad-")
        self.addCleanup(temp.cleanup)
        driver = killtest.Driver(harness.BIN_DIR, os.path.join(temp.name, "run"), print)
        self.addCleanup(driver.close)
        third = cards.load_questions(driver.database, GRADE, UNIT)[2]
        connection = sqlite3.connect(driver.database)
        connection.execute("update b5 set zd5=?, zd6=? where zd1=1", (GRADE, UNIT))
        connection.execute("update b1 set zd11=1, zd12=x'FFD8FFE000104A464946' where zd1=?", (third.id,))
        connection.execute("update b3 set zd3=999")
        connection.commit()
        connection.close()

        driver.start()
        driver.click(layout.BT1)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and not harness.find_windows(driver.server, ERROR_BOX_TITLE):
            time.sleep(0.1)
        self.assertTrue(harness.find_windows(driver.server, ERROR_BOX_TITLE), "no error box")
        output = harness.output_of(driver.process)
        self.assertIn("aoshu: error: 第3题的图片已损坏，无法显示。 (", output)
        self.assertEqual(harness.query(driver.database, "select count(*) from b3 where zd3=999"), [(20,)],
                         "the stopped drawing wrote nothing")

        # No window manager: give the box the focus, then press its OK.
        box = harness.find_windows(driver.server, ERROR_BOX_TITLE)[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", str(box), "key", "Return"],
                       env=driver.server.env(), check=False)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and harness.find_windows(driver.server, ERROR_BOX_TITLE):
            time.sleep(0.1)
        self.assertFalse(harness.find_windows(driver.server, ERROR_BOX_TITLE), "the box did not close")
        self.assertIsNone(driver.process.poll(), "the program went on after the box")
        driver.click(layout.BEND)
        time.sleep(0.5)
        driver.click(layout.BT1)  # "确认退出"
        self.assertEqual(harness.wait_exit(driver.process, timeout=10), 0, harness.output_of(driver.process))


if __name__ == "__main__":
    unittest.main(verbosity=2)
