#!/usr/bin/env python3
"""svg_probe.py PICTURE.svg OUT.png: checks a picture as a person sees it.

Parses the SVG as XML, renders it with rsvg-convert, decodes the PNG with the
standard library and prints JSON: the rendered size, the lines, the path
count, each stone with the colour rendered inside it, the classes drawn
("tag.class"), the number of texts and the title's text.
"""
import json
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zlib

SVG = "{http://www.w3.org/2000/svg}"


def decode_png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0, header
    bpp = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        ftype = raw[i]
        line = bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            c = prev[x - bpp] if x >= bpp else 0
            if ftype == 1:
                line[x] = (line[x] + a) & 255
            elif ftype == 2:
                line[x] = (line[x] + b) & 255
            elif ftype == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, lambda px, py: list(rows[int(py)][int(px) * bpp:int(px) * bpp + 3])


def main():
    svg_path, png_path = sys.argv[1], sys.argv[2]
    root = ET.parse(svg_path).getroot()
    assert root.tag == SVG + "svg", root.tag
    subprocess.run(["rsvg-convert", svg_path, "-o", png_path], check=True)
    width, height = struct.unpack(">II", open(png_path, "rb").read()[16:24])
    pixel = None
    stones = []
    for c in root.iter(SVG + "circle"):
        if c.get("class") != "stone":
            continue
        if pixel is None:  # decoding is slow: only for pictures with stones
            pixel = decode_png(png_path)[2]
        cx, cy, r = float(c.get("cx")), float(c.get("cy")), float(c.get("r"))
        stones.append({
            "slot": int(c.get("data-slot")), "engine": c.get("data-engine"),
            "x": float(c.get("data-x")), "y": float(c.get("data-y")),
            "cx": cx, "cy": cy, "r": r, "fill": c.get("fill"),
            # Above the centre, clear of the throw number.
            "rendered": pixel(cx, cy - 0.6 * r),
        })
    lines = {l.get("class"): [float(l.get(k, 0)) for k in ("x1", "y1", "x2", "y2")]
             for l in root.iter(SVG + "line")}
    paths = [p.get("points").split() for p in root.iter(SVG + "polyline")]
    texts = list(root.iter(SVG + "text"))
    title = [t.text for t in texts if t.get("class") == "title"]
    classes = sorted({e.tag[len(SVG):] + "." + e.get("class") for e in root.iter()
                      if e.get("class")})
    print(json.dumps({"width": width, "height": height, "stones": stones, "lines": lines,
                      "paths": [len(p) for p in paths], "classes": classes,
                      "texts": len(texts), "title": title[0] if title else None}))


if __name__ == "__main__":
    main()
