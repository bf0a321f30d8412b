"""A real print queue for the tests: CUPS with the cups-pdf virtual printer.

The queue turns every job into a PDF file in the job owner's ~/PDF. CUPS
keeps the document each job received (PreserveJobFiles), so a test can read
both what the program sent and what the printer made of it.

cups-pdf goes through PostScript. Its PDFs keep Latin text but lose the text
layer of most Chinese glyphs (the same happens to any PDF with many Chinese
glyphs sent with `lp`), so the text of a page is read from the document the
job received, and the printer's PDF is checked for its paper and looked at.
"""

import os
import pwd
import re
import shutil
import subprocess
import time
import unittest

QUEUE = "AoshuTestPDF"
PPD = "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"
SPOOL = "/var/spool/cups"


def _run(*command):
    return subprocess.run(list(command), capture_output=True, text=True)


def _scheduler_running():
    return "scheduler is running" in _run("lpstat", "-r").stdout


def _wait_for_scheduler(timeout=15):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if _scheduler_running():
            return True
        time.sleep(0.1)
    return False


class PrintQueue:
    """The test queue, made the default destination while the test runs."""

    def __init__(self):
        if not shutil.which("lpadmin") or not os.path.exists("/usr/lib/cups/backend/cups-pdf"):
            raise unittest.SkipTest("printing test needs the packages cups and printer-driver-cups-pdf")
        if not _scheduler_running():
            if os.geteuid() != 0:
                raise unittest.SkipTest("printing test: CUPS is not running and only root may start it")
            subprocess.run(["/usr/sbin/cupsd"], check=True)
            if not _wait_for_scheduler():
                raise unittest.SkipTest("printing test: cupsd did not start")
        if _run("lpstat", "-p", QUEUE).returncode != 0:
            # pdftocairo keeps the text of the pages as text on the way to
            # PostScript; Ghostscript would turn it into Type 3 glyphs.
            made = _run("lpadmin", "-p", QUEUE, "-v", "cups-pdf:/", "-m", PPD, "-E",
                        "-o", "PageSize=A4", "-o", "pdftops-renderer-default=pdftocairo")
            if made.returncode != 0:
                raise unittest.SkipTest("printing test: cannot add the queue: " + made.stderr)
        if "PreserveJobFiles=Yes" not in _run("cupsctl").stdout:
            _run("cupsctl", "PreserveJobFiles=Yes")
            time.sleep(1)
            _wait_for_scheduler()
        default = re.search(r"system default destination: (\S+)", _run("lpstat", "-d").stdout)
        self.previous_default = default.group(1) if default else None
        _run("lpadmin", "-d", QUEUE)
        self.output_dir = self._output_dir()
        self.jobs_before = set(self.completed_jobs())
        self.files_before = set(os.listdir(self.output_dir)) if os.path.isdir(self.output_dir) else set()

    @staticmethod
    def _output_dir():
        folder = "${HOME}/PDF"
        try:
            with open("/etc/cups/cups-pdf.conf", encoding="utf-8") as conf:
                for line in conf:
                    if line.startswith("Out "):
                        folder = line.split(None, 1)[1].strip()
        except OSError:
            pass
        home = pwd.getpwuid(os.getuid()).pw_dir
        return folder.replace("${HOME}", home).replace("${USER}", pwd.getpwuid(os.getuid()).pw_name)

    def completed_jobs(self):
        """Ids of the finished jobs of the test queue, oldest first."""
        lines = _run("lpstat", "-W", "completed", "-o", QUEUE).stdout.splitlines()
        ids = [int(m.group(1)) for m in (re.match(re.escape(QUEUE) + r"-(\d+)\s", l) for l in lines) if m]
        return sorted(ids)

    def wait_for_jobs(self, count, timeout=60):
        """(job documents, printer PDFs) of the jobs finished since the queue
        was prepared, once there are count of each."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            jobs = [j for j in self.completed_jobs() if j not in self.jobs_before]
            files = sorted((f for f in os.listdir(self.output_dir) if f not in self.files_before),
                           key=lambda f: os.path.getmtime(os.path.join(self.output_dir, f))) \
                if os.path.isdir(self.output_dir) else []
            if len(jobs) >= count and len(files) >= count:
                documents = [os.path.join(SPOOL, f"d{j:05d}-001") for j in jobs]
                return documents, [os.path.join(self.output_dir, f) for f in files]
            time.sleep(0.2)
        raise AssertionError(f"{count} print jobs not finished within {timeout} s: "
                             f"jobs {self.completed_jobs()}, files in {self.output_dir}")

    def close(self):
        if self.previous_default and self.previous_default != QUEUE:
            _run("lpadmin", "-d", self.previous_default)


def pdf_info(path):
    out = _run("pdfinfo", path).stdout
    pages = int(re.search(r"Pages:\s+(\d+)", out).group(1))
    size = re.search(r"Page size:\s+([\d.]+) x ([\d.]+) pts", out)
    return pages, float(size.group(1)), float(size.group(2))


# Qt's PDF text layer names a glyph that a character shares with a CJK
# radical by the radical's code point; read those back as the characters.
_RADICALS = {"⻚": "页", "⻓": "长", "⽅": "方", "⼀": "一", "⼆": "二", "⼈": "人", "⼤": "大", "⼩": "小"}


def pdf_text(path):
    text = _run("pdftotext", "-layout", path, "-").stdout
    for radical, character in _RADICALS.items():
        text = text.replace(radical, character)
    return text


def render(pdf, png_stem, dpi=60):
    subprocess.run(["pdftoppm", "-r", str(dpi), "-png", "-singlefile", pdf, png_stem],
                   check=True, capture_output=True)
    return png_stem + ".png"
