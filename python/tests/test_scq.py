"""The Python module against the programs: scqinfo's play times, scqdump's documents and events,
scqconvert's files, on the examples and the generated songs of the export tests; the failures;
threads; memory over many loads."""

import concurrent.futures
import glob
import json
import os
import shutil
import subprocess
import tempfile
import unittest

import scq

SOURCE = os.environ["SCQ_SOURCE_DIR"]
SCQINFO = os.environ["SCQINFO"]
SCQDUMP = os.environ.get("SCQDUMP", "")
SCQCONVERT = os.environ.get("SCQCONVERT", "")
MIDI_CASES = os.environ.get("MIDI_CASES", "")


def run(*args):
    return subprocess.run(args, capture_output=True, check=False)


def summary(path):
    return json.loads(run(SCQDUMP, "--summary", path).stdout)


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


class ModuleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp()
        if MIDI_CASES:
            subprocess.run([MIDI_CASES, cls.dir], check=True, capture_output=True)
        cls.songs = sorted(glob.glob(os.path.join(SOURCE, "examples", "*.scq")))
        cls.songs += sorted(glob.glob(os.path.join(cls.dir, "*.scq")))
        with open(os.path.join(cls.dir, "text.txt"), "wb") as f:
            f.write(b"not a song\n")
        with open(os.path.join(SOURCE, "examples", "sonatina.scq"), "rb") as f:
            whole = f.read()
        with open(os.path.join(cls.dir, "cut.scq"), "wb") as f:
            f.write(whole[: len(whole) // 2])
        # A header of a newer revision, one with a leading word above 0, an unknown product.
        revision = whole.index(b"\x10\x00Sonatina")
        leading = len(b"[Staveforge Software]\x00")
        product = whole.index(b"Engraver]")
        patched = {
            "too-new.scq": whole[:revision] + b"\x11" + whole[revision + 1:],
            "leading.scq": whole[:leading] + b"\x01" + whole[leading + 1:],
            "product.scq": whole[:product] + b"Engravez]" + whole[product + 9:],
        }
        for name, data in patched.items():
            with open(os.path.join(cls.dir, name), "wb") as f:
                f.write(data)
        names = ["text.txt", "missing.scq"] + list(patched)
        cls.failing = [os.path.join(cls.dir, n) for n in names] + [cls.dir]
        if os.geteuid() != 0:  # root reads any file
            unreadable = os.path.join(cls.dir, "unreadable.scq")
            shutil.copy(os.path.join(SOURCE, "examples", "sonatina.scq"), unreadable)
            os.chmod(unreadable, 0)
            cls.failing.append(unreadable)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    @unittest.skipUnless(SCQDUMP and SCQCONVERT, "needs scqdump and scqconvert")
    def test_against_programs(self):
        self.assertGreater(len(self.songs), 20)
        for path in self.songs + [os.path.join(self.dir, "cut.scq")]:
            with self.subTest(path=path):
                record = summary(path)
                try:
                    song = scq.load(path)
                except scq.LoadError as e:
                    self.assertEqual(e.outcome, record["outcome"])
                    continue
                self.assertEqual(song.outcome, record["outcome"])
                self.assertEqual(song.damaged, record["errorReason"] is not None)
                self.assertEqual(song.title, record["title"])
                self.assertEqual(song.author, record["author"])
                self.assertEqual(song.play_time("scq"), (record["scqSeconds"], record["scqMilliseconds"]))
                self.assertEqual(song.play_time("smf"), (record["smfSeconds"], record["smfMilliseconds"]))
                document = json.loads(run(SCQDUMP, "--events", path).stdout)
                self.assertEqual(song.to_json(True, True), document)
                self.assertEqual(song.staffs, document["song"]["staffs"])
                for rendering in ("scq", "smf"):
                    events = [list(e) for e in song.events(rendering)]
                    self.assertEqual(events, document["performance"][rendering]["events"])
                info = run(SCQINFO, path).stdout.split(b"\n")
                self.assertEqual(info[0], b"Title:\t" + song.raw_texts["title"])
                self.assertEqual(info[3], b"Copyright2:\t" + song.raw_texts["copyright2"])
                out = os.path.join(self.dir, "out.mid")
                run(SCQCONVERT, "--force", path, "-o", out)
                with open(out, "rb") as f:
                    self.assertEqual(song.to_midi(), f.read())
                out = os.path.join(self.dir, "out.musicxml")
                run(SCQCONVERT, "--force", path, "-o", out)
                with open(out, "rb") as f:
                    self.assertEqual(song.to_musicxml(), f.read())

    def test_failures_raise_load_error(self):
        outcomes = set()
        for path in self.failing:
            with self.subTest(path=path):
                with self.assertRaises(scq.LoadError) as caught:
                    scq.load(path)
                e = caught.exception
                outcomes.add(e.outcome)
                if SCQDUMP:
                    record = summary(path)
                    self.assertEqual(e.outcome, record["outcome"])
                    self.assertEqual(e.status, record["status"])
                    self.assertEqual(e.reason, record["errorReason"])
                    self.assertEqual(e.offset, record["errorOffset"])
        self.assertLessEqual({"not-a-song", "not-found", "not-a-file", "too-new", "rejected-header"},
                             outcomes)
        for data in (b"\x00\x01not a song at all", b"x" * 100):
            with self.assertRaises(scq.LoadError) as caught:
                scq.load(data)
            self.assertEqual(caught.exception.outcome, "not-a-song")
        with self.assertRaises(ValueError):
            scq.load(self.songs[0]).play_time("midi")

    def test_bytes_and_repair(self):
        damaged = os.path.join(SOURCE, "examples", "damaged-ascii.scq")
        with open(damaged, "rb") as f:
            data = f.read()
        for source in (damaged, data, bytearray(data)):
            song = scq.load(source)
            self.assertTrue(song.repaired)
            self.assertIn("improperly downloaded", song.repair_notice)
            self.assertEqual(song.to_json()["song"], scq.load(damaged).to_json()["song"])
        # Unrepaired, the transfer damage is a damaged song (status 7), not a failure to raise.
        song = scq.load(damaged, repair=False)
        self.assertEqual((song.status, song.damaged, song.repaired), (7, True, False))

    def test_threads_give_what_one_thread_gives(self):
        paths = [self.songs[i % len(self.songs)] for i in range(1000)]

        def work(path):
            song = scq.load(path)
            return song.title, song.play_time("scq"), song.play_time("smf"), len(song.to_midi())

        one = [work(p) for p in paths]
        with concurrent.futures.ThreadPoolExecutor(8) as pool:
            many = list(pool.map(work, paths))
        self.assertEqual(one, many)

    def test_memory_stays_flat(self):
        path = os.path.join(SOURCE, "examples", "sonatina.scq")
        for _ in range(1000):
            scq.load(path).play_time("scq")
        before = rss_kib()
        for _ in range(10000):
            song = scq.load(path)
            song.play_time("scq")
            song.to_json()
            try:
                scq.load(self.failing[0])
            except scq.LoadError:
                pass
        self.assertLess(rss_kib() - before, 4096)


if __name__ == "__main__":
    unittest.main()
