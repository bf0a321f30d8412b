#!/usr/bin/env python3
"""aoshu-class as an administrator and a teacher run it, against a real
throw-away server: init twice, logins, the report as PDF (A4, its text
searchable) and CSV, an empty class.  Usage: cli_test.py AOSHU_CLASS"""
import os
import shutil
import subprocess
import sys
import tempfile
import unicodedata
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "build/bin/aoshu-class"

def pdf_text(path):
    """The PDF's text; the CJK radicals some fonts map their glyphs to read as
    the characters they stand for (NFKC, which also makes full-width
    punctuation half-width)."""
    text = subprocess.run(["pdftotext", "-layout", path, "-"], capture_output=True, text=True, check=True).stdout
    return unicodedata.normalize("NFKC", text)


def shown(text):
    return unicodedata.normalize("NFKC", text)


ROWS = """
INSERT INTO aoshu.homeworks (school, class, id, pupil, grade, grade_name, unit, unit_name, day, started, seconds,
                             score, grading)
SELECT '实验小学', '三年级1班', md5(p || '-' || d), '学生0' || p, 3, '三年级', d / 10, '第' || (d / 10 + 1) || '单元',
       date '2026-03-02' + d, timestamp '2026-03-02 18:00' + d * interval '1 day', 1000, 50 + 5 * p, 1
FROM generate_series(1, 2) p, generate_series(0, 19) d;
INSERT INTO aoshu.answers
SELECT h.school, h.class, h.id, s, h.pupil, 100 + s, CASE WHEN s * 5 <= h.score THEN 'C' ELSE 'A' END, 'C',
       s * 5 <= h.score, '鸡兔同笼，共有' || (100 + s) || '个头'
FROM aoshu.homeworks h, generate_series(1, 20) s;
"""


class ClassCommand(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="aoshu-cli-")
        cls.uri = subprocess.run([sys.executable, os.path.join(HERE, "pg_temp.py"), "start", cls.folder,
                                  "--owner", str(os.getpid())],
                                 capture_output=True, text=True, check=True).stdout.strip()
        cls.out = tempfile.mkdtemp(prefix="aoshu-cli-out-")

    @classmethod
    def tearDownClass(cls):
        subprocess.run([sys.executable, os.path.join(HERE, "pg_temp.py"), "stop", cls.folder], check=False)
        shutil.rmtree(cls.folder, ignore_errors=True)
        shutil.rmtree(cls.out, ignore_errors=True)

    def run_class(self, *args, user=None):
        uri = self.uri if user is None else self.uri.replace("user=postgres", f"user={user}")
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)  # the program needs no display
        env.pop("DISPLAY", None)
        return subprocess.run([PROGRAM, args[0], "--server", uri, *args[1:]], capture_output=True, text=True,
                              env=env, timeout=60)

    def test_set_up_and_report(self):
        for _ in range(2):
            done = self.run_class("init")
            self.assertEqual(done.returncode, 0, done.stderr)
        for n in (1, 2, 3):
            done = self.run_class("pupil", "--school", "实验小学", "--class", "三年级1班", "--name", f"学生0{n}",
                                  "--login", f"p0{n}")
            self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.run_class("teacher", "--school", "实验小学", "--class", "三年级1班",
                                        "--login", "wang").returncode, 0)
        subprocess.run(["psql", "-q", "-v", "ON_ERROR_STOP=1", self.uri], input=ROWS, text=True, check=True)

        pdf = os.path.join(self.out, "班级报告.pdf")
        done = self.run_class("report", "--pdf", pdf, user="wang")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertNotIn("QStandardPaths", done.stderr)
        self.assertEqual(os.stat(pdf).st_mode & 0o777, 0o600)  # the class's scores are the teacher's
        info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
        self.assertIn("595 x 842 pts (A4)", info)
        text = pdf_text(pdf)
        for expected in ("班级学习报告", "实验小学 三年级1班", "学生03：还没有作业", "正确答案：C", "鸡兔同笼"):
            self.assertIn(shown(expected), text)

        csv = self.run_class("report", "--csv", "--since", "2026-03-21", user="wang")
        self.assertEqual(csv.returncode, 0, csv.stderr)
        self.assertEqual(csv.stdout.splitlines(), [
            "\ufeff学生,班级,年级,单元,日期,首次成绩,用时(秒)",
            "学生01,三年级1班,三年级,第2单元,2026-03-21,55,1000",
            "学生02,三年级1班,三年级,第2单元,2026-03-21,60,1000",
        ])

        empty = self.run_class("report", "--class", "九年级9班", "--pdf", os.path.join(self.out, "empty.pdf"))
        self.assertEqual(empty.returncode, 0, empty.stderr)
        self.assertIn(shown("这个班级还没有学生，也还没有作业。"), pdf_text(os.path.join(self.out, "empty.pdf")))

        denied = self.run_class("report", user="p01")
        self.assertEqual(denied.returncode, 1)
        self.assertIn("不能查看班级报告", denied.stderr)


if __name__ == "__main__":
    unittest.main()
