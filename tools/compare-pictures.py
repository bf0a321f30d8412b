#!/usr/bin/env python3
"""Renders every picture with two builds of contentbuilder and counts, per
picture, the pixels that differ by more than a threshold in any channel.

    tools/compare-pictures.py OLD_BUILDER NEW_BUILDER OUT_DIR [--threshold N] [--worst N]

OLD_BUILDER and NEW_BUILDER are contentbuilder executables (for example one
built from an earlier commit).  Every .svg under content/ and app/artwork/
is rendered with `--render FILE.svg FILE.bmp` by both (BMP is lossless),
once as it is and once without its <text> elements, which tells the
differences in shapes from those in the text (where the two differ in
antialiasing and hinting).  OUT_DIR receives summary.tsv (one line per
picture, worst first) and, for the worst pictures, old | new | difference
side by side as PNG files.
Prints a summary; exits 1 when a builder rejects a picture the other draws.
"""

import argparse
import concurrent.futures
import os
import re
import struct
import subprocess
import sys

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
FOLDERS = ("content", os.path.join("app", "artwork"))


def pictures():
    found = []
    for folder in FOLDERS:
        for root, _, files in os.walk(os.path.join(REPO, folder)):
            found += [os.path.relpath(os.path.join(root, f), REPO) for f in files if f.endswith(".svg")]
    return sorted(found)


def read_bmp(path):
    """(width, height, rows of RGB bytes top to bottom) of a 24-bit BMP."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError(f"{path}: {bits}-bit BMP")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        start = offset + y * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(bytes(rgb))
    if height > 0:  # bottom-up
        rows.reverse()
    return width, abs(height), rows


TEXT = re.compile(r"<text\b[^>]*?(/>|>.*?</text>)", re.S)


def without_text(svg, out_dir):
    """A copy of the picture without its texts; returns its path."""
    with open(os.path.join(REPO, svg), encoding="utf-8") as f:
        source = f.read()
    path = os.path.join(out_dir, "shapes", svg.replace(os.sep, "_"))
    with open(path, "w", encoding="utf-8") as f:
        f.write(TEXT.sub("", source))
    return path


def render(builder, svg, out):
    result = subprocess.run([builder, "--render", os.path.join(REPO, svg), out],
                            capture_output=True, text=True,
                            env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    return result.returncode == 0, result.stderr.strip()


def differing(old, new, threshold):
    """Count of pixels whose colours differ by more than threshold in a
    channel, and the largest difference seen."""
    count, largest = 0, 0
    for row_a, row_b in zip(old[2], new[2]):
        if row_a == row_b:
            continue
        for x in range(0, len(row_a), 3):
            d = max(abs(row_a[x] - row_b[x]), abs(row_a[x + 1] - row_b[x + 1]), abs(row_a[x + 2] - row_b[x + 2]))
            largest = max(largest, d)
            if d > threshold:
                count += 1
    return count, largest


def compare(svg, args):
    name = svg.replace(os.sep, "_")[:-4]
    old_path = os.path.join(args.out, "old", name + ".bmp")
    new_path = os.path.join(args.out, "new", name + ".bmp")
    old_ok, old_error = render(args.old, svg, old_path)
    new_ok, new_error = render(args.new, svg, new_path)
    if not (old_ok and new_ok):
        return {"svg": svg, "name": name, "error": f"old: {old_error or 'drawn'}; new: {new_error or 'drawn'}",
                "both_rejected": not old_ok and not new_ok}
    old, new = read_bmp(old_path), read_bmp(new_path)
    if old[:2] != new[:2]:
        return {"svg": svg, "name": name, "error": f"size {old[:2]} -> {new[:2]}", "both_rejected": False}
    count, largest = differing(old, new, args.threshold)
    shapes = without_text(svg, args.out)
    shape_paths = [os.path.join(args.out, "shapes", f"{name}-{which}.bmp") for which in ("old", "new")]
    render(args.old, shapes, shape_paths[0])
    render(args.new, shapes, shape_paths[1])
    shape_count, _ = differing(read_bmp(shape_paths[0]), read_bmp(shape_paths[1]), args.threshold)
    pixels = old[0] * old[1]
    return {"svg": svg, "name": name, "size": old[:2], "count": count, "share": count / pixels,
            "largest": largest, "shape_count": shape_count, "shape_share": shape_count / pixels,
            "old": old_path, "new": new_path}


def side_by_side(row, out_dir):
    target = os.path.join(out_dir, "worst", row["name"] + ".png")
    subprocess.run(["convert", row["old"], row["new"],
                    "(", row["old"], row["new"], "-compose", "difference", "-composite", "-negate", ")",
                    "+append", target], check=True)
    return target


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("out")
    parser.add_argument("--threshold", type=int, default=32, help="per channel, 0..255 (default 32)")
    parser.add_argument("--worst", type=int, default=12, help="pictures to show side by side (default 12)")
    args = parser.parse_args()
    for sub in ("old", "new", "worst", "shapes"):
        os.makedirs(os.path.join(args.out, sub), exist_ok=True)

    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        rows = list(pool.map(lambda svg: compare(svg, args), pictures()))

    broken = [r for r in rows if "error" in r]
    drawn = sorted((r for r in rows if "error" not in r), key=lambda r: -r["share"])
    with open(os.path.join(args.out, "summary.tsv"), "w") as f:
        f.write("picture\twidth\theight\tdiffering\tshare\tlargest\tdiffering without text\tshare\n")
        for r in drawn:
            f.write(f"{r['svg']}\t{r['size'][0]}\t{r['size'][1]}\t{r['count']}\t{r['share']:.5f}\t{r['largest']}"
                    f"\t{r['shape_count']}\t{r['shape_share']:.5f}\n")
        for r in broken:
            f.write(f"{r['svg']}\t\t\t\t\t{r['error']}\n")

    differ = [r for r in drawn if r["count"] > 0]
    print(f"{len(rows)} pictures, threshold {args.threshold}: {len(differ)} differ, "
          f"{len(drawn) - len(differ)} within the threshold, {len(broken)} not drawn by both")
    for cut in (0.001, 0.01, 0.05):
        print(f"  more than {cut:.1%} of the pixels: {sum(r['share'] > cut for r in drawn)}, "
              f"without the texts: {sum(r['shape_share'] > cut for r in drawn)}")
    print("worst:")
    for r in differ[:args.worst]:
        print(f"  {r['svg']}: {r['count']} pixels ({r['share']:.2%}), largest difference {r['largest']}, "
              f"without the texts {r['shape_count']} ({r['shape_share']:.2%}); {side_by_side(r, args.out)}")
    print("worst without the texts:")
    for r in sorted(drawn, key=lambda r: -r["shape_share"])[:args.worst]:
        if r["shape_count"]:
            print(f"  {r['svg']}: {r['shape_count']} pixels ({r['shape_share']:.2%})")
    for r in broken:
        print(f"  {r['svg']}: {r['error']}")
    return 1 if any(not r["both_rejected"] for r in broken) else 0


if __name__ == "__main__":
    sys.exit(main())
