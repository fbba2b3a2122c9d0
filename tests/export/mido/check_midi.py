#!/usr/bin/env python3
"""Reads the Standard MIDI Files that scqconvert writes with an independent reader (mido).

    check_midi.py SCQCONVERT MIDI_CASES EXAMPLES_DIR

MIDI_CASES writes the generated songs, copies of the example songs and, beside each, what its
file must hold (worked out from the song's SMF rendering). scqconvert converts them all into
one folder; every file is then read back with mido and compared:

- format 1, division 192, a conductor track and one track per staff, named as the song and
  its staffs, the non-empty copyright lines in the conductor track;
- the conductor track holds the tempo changes of the rendering and the time and key
  signatures, and no channel message; each staff track holds exactly that staff's channel
  messages, at the rendering's ticks and in its order, after a port event with its device;
- every track ends at or before the performance's end, and the last one there;
- the length mido computes equals the SMF play time within 1 ms per tempo segment.

Exits 0 when every file passes, 1 otherwise, 77 (skipped) when mido is missing.
"""

import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import mido
except ImportError:
    print("check_midi: the mido module is missing (Debian: python3-mido); skipped")
    sys.exit(77)

# Key names by (sharps or minus flats, mode), as mido gives them.
try:
    from mido.midifiles.meta import _key_signature_decode as KEY_NAMES
except ImportError:
    KEY_NAMES = {}

CHUNK_TICKS = 96000  # the play time is summed in chunks of at most this many ticks


def latin1(values):
    return bytes(values).decode("latin-1")


def length_of(mid, ends):
    """The file's length in seconds as mido gives it. For a file of very many messages the
    merged walk behind MidiFile.length takes minutes, so there the length is summed from the
    tempo map of the conductor track with mido's own tick conversion."""
    if sum(len(track) for track in mid.tracks) < 200000:
        return mid.length
    seconds, tempo, last = 0.0, 500000, 0
    tick = 0
    for msg in mid.tracks[0]:
        tick += msg.time
        if msg.type == "set_tempo":
            seconds += mido.tick2second(tick - last, mid.ticks_per_beat, tempo)
            tempo, last = msg.tempo, tick
    return seconds + mido.tick2second(max(ends) - last, mid.ticks_per_beat, tempo)


def check_file(path, expected):
    """A list of problems; empty when the file holds what it must."""
    problems = []

    def expect(condition, what):
        if not condition:
            problems.append(what)
        return condition

    mid = mido.MidiFile(path)
    expect(mid.type == 1, "format %d, not 1" % mid.type)
    expect(mid.ticks_per_beat == 192, "division %d, not 192" % mid.ticks_per_beat)
    if not expect(len(mid.tracks) == expected["staffs"] + 1,
                  "%d tracks for %d staffs" % (len(mid.tracks), expected["staffs"])):
        return problems
    end = expected["endTick"]

    ends = []
    for index, track in enumerate(mid.tracks):
        tick = 0
        names, copyrights, tempos, times, keys, channel, ports = [], [], [], [], [], [], []
        for msg in track:
            tick += msg.time
            if not msg.is_meta:
                channel.append([tick] + msg.bytes())
            elif msg.type == "track_name":
                names.append(msg.name)
            elif msg.type == "copyright":
                copyrights.append(msg.text)
            elif msg.type == "set_tempo":
                tempos.append([tick, msg.tempo])
            elif msg.type == "time_signature":
                times.append([tick, msg.numerator, msg.denominator.bit_length() - 1])
            elif msg.type == "key_signature":
                keys.append([tick, msg.key])
            elif msg.type == "midi_port":
                ports.append(msg.port)
        last = track[-1] if len(track) else None
        expect(last is not None and last.type == "end_of_track",
               "track %d does not close with End of Track" % index)
        ends.append(tick)
        expect(tick <= end, "track %d ends at %d, after the end %d" % (index, tick, end))

        if index == 0:
            title = latin1(expected["title"])
            expect(names == ([title] if title else []), "sequence name %r" % names)
            lines = [latin1(expected[k]) for k in ("copyright1", "copyright2")]
            expect(copyrights == [line for line in lines if line],
                   "copyright lines %r" % copyrights)
            expect(tempos == expected["tempos"],
                   "tempo changes differ: %d in the file, %d in the rendering" %
                   (len(tempos), len(expected["tempos"])))
            expect(times == [t[:3] for t in expected["timeSignatures"]],
                   "time signatures %r" % times[:8])
            want_keys = [[k[0], KEY_NAMES.get((k[1], k[2]), k[1:])]
                         for k in expected["keySignatures"]]
            expect(keys == want_keys, "key signatures %r" % keys[:8])
            expect(not channel, "the conductor track holds channel messages")
        else:
            staff = expected["tracks"][index - 1]
            name = latin1(staff["name"])
            expect(names == ([name] if name else []), "track %d name %r" % (index, names))
            expect(ports == [staff["device"]], "track %d ports %r" % (index, ports))
            expect(not tempos, "track %d holds tempo changes" % index)
            want = staff["messages"]
            if channel != want:
                first = next((i for i, (a, b) in enumerate(zip(channel, want)) if a != b),
                             min(len(channel), len(want)))
                problems.append(
                    "track %d: %d channel messages, %d in the rendering; first difference at "
                    "%d: %r against %r" % (index, len(channel), len(want), first,
                                           channel[first] if first < len(channel) else None,
                                           want[first] if first < len(want) else None))
    expect(max(ends) == end, "the file ends at %d, the performance at %d" % (max(ends), end))

    segments = len(expected["tempos"]) + 1 + end // CHUNK_TICKS
    milliseconds = length_of(mid, ends) * 1000.0
    expect(abs(milliseconds - expected["milliseconds"]) <= segments,
           "lasts %.3f ms, the SMF play time is %d ms (%d segments)" %
           (milliseconds, expected["milliseconds"], segments))
    return problems


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    scqconvert, cases, examples = sys.argv[1:4]
    work = tempfile.mkdtemp(prefix="scqmido")
    try:
        songs_dir = os.path.join(work, "songs")
        out_dir = os.path.join(work, "mid")
        os.makedirs(out_dir)
        subprocess.run([cases, songs_dir] + sorted(glob.glob(os.path.join(examples, "*.scq"))),
                       check=True)
        songs = sorted(glob.glob(os.path.join(songs_dir, "*.scq")))
        run = subprocess.run([scqconvert, "-d", out_dir, "--"] + songs,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             universal_newlines=True)
        if run.returncode != 0:
            print("scqconvert exited %d:\n%s" % (run.returncode, run.stderr))
            return 1
        passed = failed = 0
        for song in songs:
            stem = os.path.splitext(os.path.basename(song))[0]
            with open(os.path.join(songs_dir, stem + ".json")) as f:
                expected = json.load(f)
            try:
                problems = check_file(os.path.join(out_dir, stem + ".mid"), expected)
            except Exception as error:  # the reader refused the file
                problems = ["mido cannot read it: %r" % error]
            if problems:
                failed += 1
                print("FAIL %s.mid" % stem)
                for problem in problems:
                    print("    " + problem)
            else:
                passed += 1
                print("ok   %s.mid" % stem)
        print("%d passed, %d failed" % (passed, failed))
        return 0 if failed == 0 and passed > 0 else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
