#!/usr/bin/env python3
"""The node test's checks on what PipeWire, pw-dump and GStreamer gave.

  frames.py scene <file.ppm>                 a grey scene that darkens upwards
  frames.py dump <dump.json> <node name>     the node is a camera with formats and controls
  frames.py id <node name>                   the node's id (from pw-dump)
  frames.py same <got.raw> <ref> <caps> <w> <h> <n>
                                             n frames, each equal to the first frame of
                                             the reference movie (.y4m for I420, .avi for BGR)
  frames.py count <file> <frame bytes> <n>   the file holds n whole frames
  frames.py brighter <dim> <bright> <frame bytes>
  frames.py brightens <file> <frame bytes>   the last frame is brighter than the first
"""
import json
import struct
import subprocess
import sys


def scene(path):
    width, height = 320, 240
    rows = bytearray()
    for y in range(height):
        level = 30 + 190 * y // (height - 1)
        rows += bytes([level, level, level]) * width
    with open(path, "wb") as out:
        out.write(b"P6\n%d %d\n255\n" % (width, height) + rows)


def node_of(dump, name):
    for item in dump:
        props = (item.get("info") or {}).get("props") or {}
        if props.get("node.name") == name:
            return item
    sys.exit(f"no node {name} in pw-dump")


def dump(path, name):
    node = node_of(json.load(open(path)), name)
    props, params = node["info"]["props"], node["info"]["params"]
    expect = {"media.class": "Video/Source", "media.role": "Camera"}
    for key, value in expect.items():
        if props.get(key) != value:
            sys.exit(f"{key} is {props.get(key)!r}, not {value!r}")
    formats = {f["format"] for f in params.get("EnumFormat", [])}
    if formats != {"BGR", "RGB15", "I420", "YV12", "YUY2", "YVU9"}:
        sys.exit(f"the formats are {sorted(formats)}")
    controls = {p.get("name") for p in params.get("PropInfo", [])}
    for control in ("brightness", "contrast", "colour", "compression", "quality", "lighting"):
        if control not in controls:
            sys.exit(f"no control {control} among {sorted(controls)}")
    # The standard three under PipeWire's own property ids.
    ids = {p.get("id") for p in params.get("PropInfo", [])}
    if not {"brightness", "contrast", "saturation"} <= ids:
        sys.exit(f"the controls' ids are {sorted(map(str, ids))}")
    if "brightness" not in params.get("Props", [{}])[0]:
        sys.exit("Props has no brightness")


def node_id(name):
    listing = json.loads(subprocess.run(["pw-dump"], capture_output=True, check=True, text=True).stdout)
    print(node_of(listing, name)["id"])


def frames(path, size):
    data = open(path, "rb").read()
    if len(data) % size != 0:
        sys.exit(f"{path}: {len(data)} bytes are no whole number of {size}-byte frames")
    return [data[i:i + size] for i in range(0, len(data), size)]


def reference(path, size):
    """The first frame of a movie `zarncap stream` wrote: a Y4M holds the YUV
    formats as the driver wrote them, an AVI its RGB24 with rows top-down."""
    data = open(path, "rb").read()
    if path.endswith(".y4m"):
        start = data.index(b"FRAME\n") + len(b"FRAME\n")
        return data[start:start + size]
    at = data.index(b"movi")
    while True:
        at = data.index(b"00d", at + 1)
        if struct.unpack_from("<I", data, at + 4)[0] == size:
            return data[at + 8:at + 8 + size]


def same(got, ref, caps, width, height, count):
    pixels = int(width) * int(height)
    expected = reference(ref, pixels * 3 if caps == "BGR" else pixels * 3 // 2)
    got_frames = frames(got, len(expected))
    if len(got_frames) != int(count):
        sys.exit(f"{caps}: {len(got_frames)} frames, not {count}")
    for n, frame in enumerate(got_frames):
        if frame != expected:
            differ = sum(a != b for a, b in zip(frame, expected))
            sys.exit(f"{caps}: frame {n} differs from the driver's in {differ} bytes")


def mean(frame):
    return sum(frame) / len(frame)


def count(path, size, n):
    if len(frames(path, int(size))) != int(n):
        sys.exit(f"{path}: {len(frames(path, int(size)))} frames, not {n}")


def brighter(dim, bright, size):
    a, b = mean(frames(dim, int(size))[-1]), mean(frames(bright, int(size))[-1])
    if not b > a + 5:
        sys.exit(f"mean level {b:.1f} after, {a:.1f} before")


def brightens(path, size):
    data = open(path, "rb").read()
    got = [data[i:i + int(size)] for i in range(0, len(data) - int(size) + 1, int(size))]
    if len(got) < 10 or not mean(got[-1]) > mean(got[0]) + 5:
        sys.exit(f"{len(got)} frames, mean level {mean(got[0]):.1f} first and {mean(got[-1]):.1f} last")


if __name__ == "__main__":
    commands = {"scene": scene, "dump": dump, "id": node_id, "same": same, "count": count, "brighter": brighter,
                "brightens": brightens}
    commands[sys.argv[1]](*sys.argv[2:])
