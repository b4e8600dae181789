#!/usr/bin/python3
"""An engine that answers every GO with text meant to break a page: markup,
script, a script element's end, bytes that are not UTF-8 and the line
separators JavaScript once read as line ends. Started under a name that is
markup itself, it checks that the match page shows all of it as text."""
import os

REPLIES = [
    b"BESTSHOT </script><script>alert(1)</script>",
    b"BESTSHOT <img src=x onerror=alert(2)>",
    b"BESTSHOT \xff\xfe not utf-8 \xe2\x80\xa8 \xe2\x80\xa9 & <!-- -->",
]

gos = 0
while True:
    data = os.read(0, 1024)
    if not data:
        break
    word = data.split(b" ")[0].strip()
    if word == b"ISREADY":
        os.write(1, b"READYOK\n")
    elif word == b"GO":
        os.write(1, REPLIES[gos % len(REPLIES)] + b"\n")
        gos += 1
