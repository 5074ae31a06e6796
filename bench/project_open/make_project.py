#!/usr/bin/env python3
"""Writes a desktop edit project of many clips, with real (tiny) media, for the opening benchmark.

Usage: make_project.py FOLDER CLIPS [LUTS]

FOLDER/Big.tavlek refers to FOLDER/media, which holds one 2 s 160 × 96 H.264 file with sound
(made by the ffmpeg tool) under one name per source: a source for every five clips. Three clips
in four are video clips laid end to end on lane 1 (2 s each, cycling through the sources), the
fourth an audio clip on audio lane 1 under every third video clip (6 s), with one marker every
50 clips. The clip ids, names and times are the same on every run. With LUTS, video clip i is
graded by the LUT file look_<i mod LUTS>.cube; the even-numbered ones are in FOLDER/media/luts
(33-point cubes), the odd-numbered ones are missing.
"""
import json
import os
import subprocess
import sys


def make_media(media, sources):
    os.makedirs(media, exist_ok=True)
    first = os.path.join(media, "shot_00000.mp4")
    if not os.path.exists(first):
        subprocess.run(["ffmpeg", "-y", "-hide_banner", "-loglevel", "error", "-nostdin",
                        "-f", "lavfi", "-i", "testsrc2=s=160x96:r=25:d=2",
                        "-f", "lavfi", "-i", "sine=f=440:d=2",
                        "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-shortest", first], check=True)
    names = []
    for i in range(sources):
        name = "shot_%05d.mp4" % i
        path = os.path.join(media, name)
        if not os.path.exists(path):
            os.link(first, path)
        names.append(name)
    return names


def make_luts(media, count):
    folder = os.path.join(media, "luts")
    os.makedirs(folder, exist_ok=True)
    size = 33
    rows = []
    for b in range(size):
        for g in range(size):
            for r in range(size):
                rows.append("%.6f %.6f %.6f" % (r / (size - 1), g / (size - 1), b / (size - 1)))
    text = "LUT_3D_SIZE %d\n" % size + "\n".join(rows) + "\n"
    names = ["look_%03d.cube" % i for i in range(count)]
    for i, name in enumerate(names):
        if i % 2 == 0:
            with open(os.path.join(folder, name), "w") as out:
                out.write(text)
    return names


def main():
    folder, clips = sys.argv[1], int(sys.argv[2])
    lut_count = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    media = os.path.join(folder, "media")
    sources = make_media(media, max(clips // 5, 1))
    luts = make_luts(media, lut_count) if lut_count > 0 else []
    video_count = clips - clips // 4
    entries = []
    for i in range(video_count):
        source = i % len(sources)
        entries.append({
            "id": "v%05d" % i, "type": "video", "name": sources[source], "groupId": "",
            "sourceId": "s%05d" % source, "track": 1, "startTime": 2.0 * i, "duration": 2.0,
            "inPoint": 0.0, "outPoint": 2.0, "speed": 1.0, "opacity": 1.0, "fadeIn": 0.0,
            "fadeOut": 0.0, "audioLevel": 1.0,
        })
        if luts:
            lut = luts[i % len(luts)]
            entries[-1]["grade"] = {"hasLut": True, "lutFile": lut, "lutName": lut, "lutStrength": 1.0}
    for i in range(clips - video_count):
        source = (3 * i) % len(sources)
        entries.append({
            "id": "a%05d" % i, "type": "audio", "name": sources[source] + " (Audio)", "groupId": "",
            "sourceId": "s%05d" % source, "track": 1, "startTime": 6.0 * i, "duration": 2.0,
            "inPoint": 0.0, "outPoint": 2.0, "speed": 1.0, "opacity": 1.0, "fadeIn": 0.0,
            "fadeOut": 0.0, "audioLevel": 1.0,
        })
    length = 2.0 * video_count
    project = {
        "tool": "velmora-editor-desktop-edit",
        "version": 2,
        "createdAt": "2024-01-01T00:00:00Z",
        "project": {"name": "Big", "width": 1920, "height": 1080, "fps": 25, "activeTimelineId": "t1"},
        "timelines": [{
            "id": "t1", "name": "Timeline 1", "duration": length, "pixelsPerSecond": 100,
            "lockedTracks": [], "mutedTracks": [],
            "markers": [{"id": "m%05d" % i, "time": 2.0 * 50 * i, "label": "Marker %d" % i}
                        for i in range(clips // 50)],
            "clips": entries,
        }],
        "grade": {"lutCube": ""},
        "mediaFolder": os.path.abspath(media),
        "sources": [{"id": "s%05d" % i, "fileName": name, "type": "video"} for i, name in enumerate(sources)],
    }
    with open(os.path.join(folder, "Big.tavlek"), "w") as out:
        json.dump(project, out, indent=1, sort_keys=True)


if __name__ == "__main__":
    main()
