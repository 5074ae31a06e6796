#!/usr/bin/env python3
"""Writes a desktop edit project of many clips, with real (tiny) media, for the opening benchmark.

Usage: make_project.py FOLDER CLIPS [LUTS [POINTS [half|all]]]

FOLDER/Big.tavlek refers to FOLDER/media, which holds one 2 s 160 × 96 H.264 file with sound
(made by the ffmpeg tool) under one name per source: a source for every five clips. Three clips
in four are video clips laid end to end on lane 1 (2 s each, cycling through the sources), the
fourth an audio clip on audio lane 1 under every third video clip (6 s), with one marker every
50 clips. The clip ids, names and times are the same on every run.

With LUTS (graded): every video clip is graded by a LUT file, the clips cycling through LUTS names
(look_000.cube …, the first clip by look_000.cube); the even-numbered half lie in the media
folder's `luts` folder (identity cubes of POINTS a side, 17 by default), the odd-numbered half are
missing. With "all" every one of them is there, each a text of its own (its title names it).
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


def make_luts(media, count, size=17, all_present=False):
    """LUT names look_000.cube …; the even-numbered ones (or all) written to media/luts."""
    folder = os.path.join(media, "luts")
    os.makedirs(folder, exist_ok=True)
    lines = ["LUT_3D_SIZE %d" % size]
    for b in range(size):
        for g in range(size):
            for r in range(size):
                lines.append("%.6f %.6f %.6f" % (r / (size - 1), g / (size - 1), b / (size - 1)))
    text = "\n".join(lines) + "\n"
    names = []
    for i in range(count):
        name = "look_%03d.cube" % i
        path = os.path.join(folder, name)
        if (all_present or i % 2 == 0) and not os.path.exists(path):
            with open(path, "w") as out:
                if all_present:
                    out.write('TITLE "%s"\n' % name)
                out.write(text)
        names.append(name)
    return names


def main():
    folder, clips = sys.argv[1], int(sys.argv[2])
    lut_count = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    lut_points = int(sys.argv[4]) if len(sys.argv) > 4 else 17
    all_present = len(sys.argv) > 5 and sys.argv[5] == "all"
    media = os.path.join(folder, "media")
    sources = make_media(media, max(clips // 5, 1))
    luts = make_luts(media, lut_count, lut_points, all_present) if lut_count else []
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
            entries[-1]["grade"] = {"hasLut": True, "lutFile": luts[i % len(luts)], "lutStrength": 1.0}
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
