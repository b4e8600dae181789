#!/usr/bin/env python3
"""svg_probe.py PICTURE.svg OUT.png: checks a picture as a person sees it.

Parses the SVG as XML, renders it with rsvg-convert, reads the PNG with
Pillow and prints JSON: the rendered height, the lines, the path lengths and
each stone with the colour rendered inside it.
"""
import json
import subprocess
import sys
import xml.etree.ElementTree as ET

from PIL import Image

SVG = "{http://www.w3.org/2000/svg}"


def main():
    svg_path, png_path = sys.argv[1], sys.argv[2]
    root = ET.parse(svg_path).getroot()
    assert root.tag == SVG + "svg", root.tag
    subprocess.run(["rsvg-convert", svg_path, "-o", png_path], check=True)
    png = Image.open(png_path).convert("RGB")
    stones = []
    for c in root.iter(SVG + "circle"):
        if c.get("class") != "stone":
            continue
        cx, cy, r = float(c.get("cx")), float(c.get("cy")), float(c.get("r"))
        stones.append({
            "slot": int(c.get("data-slot")), "engine": c.get("data-engine"),
            "cx": cx, "cy": cy, "r": r,
            # Above the centre, clear of the throw number.
            "rendered": list(png.getpixel((int(cx), int(cy - 0.6 * r)))),
        })
    lines = {l.get("class"): [float(l.get(k, 0)) for k in ("x1", "y1", "x2", "y2")]
             for l in root.iter(SVG + "line")}
    paths = [len(p.get("points").split()) for p in root.iter(SVG + "polyline")]
    print(json.dumps({"height": png.height, "stones": stones, "lines": lines, "paths": paths}))


if __name__ == "__main__":
    main()
