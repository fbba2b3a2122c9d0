"""examples/index_archive.py: the rows of a thread pool, a process pool and a Dask cluster of two
workers agree, over the example songs and the generated ones."""

import csv
import io
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ["SCQ_SOURCE_DIR"]
MIDI_CASES = os.environ.get("MIDI_CASES", "")
sys.path.insert(0, os.path.join(SOURCE, "examples"))
# The Dask workers are processes of their own: they import the example and the module too.
os.environ["PYTHONPATH"] = os.pathsep.join(
    [os.path.join(SOURCE, "examples")] + os.environ.get("PYTHONPATH", "").split(os.pathsep))

import index_archive  # noqa: E402


class IndexArchiveTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp()
        shutil.copytree(os.path.join(SOURCE, "examples"), os.path.join(cls.root, "examples"),
                        ignore=shutil.ignore_patterns("*.py"))
        generated = os.path.join(cls.root, "generated")
        os.mkdir(generated)
        if MIDI_CASES:
            subprocess.run([MIDI_CASES, generated], check=True, capture_output=True)
        with open(os.path.join(generated, "broken.scq"), "wb") as f:
            f.write(b"not a song")
        cls.paths = index_archive.find_songs(cls.root)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root)

    def test_every_way_gives_the_same_rows(self):
        threads = index_archive.index_local(self.paths, jobs=4)
        self.assertGreater(len(threads), 10)
        self.assertEqual([r["file"] for r in threads], self.paths)
        self.assertEqual(sum(r["outcome"] == "not-a-song" for r in threads), 1)
        self.assertEqual(index_archive.index_local(self.paths, jobs=1), threads)
        self.assertEqual(index_archive.index_local(self.paths, jobs=2, processes=True), threads)
        try:
            from distributed import Client, LocalCluster
        except ImportError:
            self.skipTest("no Dask (python3-distributed)")
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            self.assertEqual(len(client.scheduler_info()["workers"]), 2)
            self.assertEqual(index_archive.index_dask(self.paths, client), threads)

    def test_csv_output(self):
        out = os.path.join(self.root, "index.csv")
        self.assertEqual(index_archive.main([self.root, "-o", out, "-j", "2"]), 0)
        with open(out, newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f))
        expected = io.StringIO()
        index_archive.write_csv(index_archive.index_local(self.paths), expected)
        expected.seek(0)
        self.assertEqual(rows, list(csv.DictReader(expected)))
        self.assertEqual(index_archive.main([os.path.join(self.root, "none")]), 1)


if __name__ == "__main__":
    unittest.main()
