#!/usr/bin/env python3
"""Indexes a folder tree of song files into CSV, one row per file, with the Python module scq.

    index_archive.py ROOT [-o OUT.csv] [--jobs N] [--processes]
    index_archive.py ROOT --dask SCHEDULER_ADDRESS | --dask-local WORKERS

Exit status (docs/index_archive.1): 0 when the index was written, whatever the files held (a
file that cannot be loaded is a row with its outcome and reason); 1 when ROOT is not a folder
or the CSV cannot be written; 2 for a usage error.

On one machine the files are loaded by a pool of threads (the module releases the GIL while it
loads and renders) or, with --processes, of processes. For archives that outgrow one machine,
--dask maps the same function over a dask.bag of the file names on a Dask cluster
(--dask-local starts one on this machine). The rows come in the order of the sorted names
whichever way they were made, so every run over the same tree writes the same file.
"""

import argparse
import concurrent.futures
import csv
import os
import sys

import scq

FIELDS = ["file", "outcome", "status", "repaired", "format_revision", "product_version",
          "title", "author", "copyright1", "copyright2", "staff_count", "item_count",
          "scq_seconds", "smf_seconds", "scq_milliseconds", "smf_milliseconds",
          "error_reason", "error_offset"]


def find_songs(root):
    """Every regular file under root whose name ends in .scq (any case), sorted."""
    found = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in files:
            path = os.path.join(folder, name)
            if name.lower().endswith(".scq") and os.path.isfile(path):
                found.append(path)
    return sorted(found)


def version_text(version):
    """The version as scqinfo prints it: truncating division, the remainder taking the sign."""
    major = abs(version) // 256 * (1 if version >= 0 else -1)
    return f"{major}.{version - major * 256}"


def index_file(path):
    """The row of one file; a file that cannot be loaded gives its outcome and reason."""
    row = dict.fromkeys(FIELDS, "")
    row["file"] = path
    try:
        song = scq.load(path)
    except scq.LoadError as e:
        row.update(outcome=e.outcome, status=e.status, error_reason=e.reason,
                   error_offset="" if e.offset is None else e.offset)
        return row
    scq_seconds, scq_ms = song.play_time("scq")
    smf_seconds, smf_ms = song.play_time("smf")
    staffs = song.staffs
    row.update(outcome=song.outcome, status=song.status, repaired=int(song.repaired),
               format_revision=song.format_revision,
               product_version=version_text(song.product_version),
               title=song.title, author=song.author, copyright1=song.copyright1,
               copyright2=song.copyright2, staff_count=len(staffs),
               item_count=sum(len(s["items"]) for s in staffs),
               scq_seconds=scq_seconds, smf_seconds=smf_seconds, scq_milliseconds=scq_ms,
               smf_milliseconds=smf_ms)
    if song.damaged:
        row.update(error_reason=song.reason, error_offset="" if song.offset is None else song.offset)
    return row


def index_local(paths, jobs=None, processes=False, progress=None):
    """The rows of the files, made by a pool of threads or processes on this machine;
    `progress`, when given, is called with the count of rows made so far."""
    pool_type = (concurrent.futures.ProcessPoolExecutor if processes
                 else concurrent.futures.ThreadPoolExecutor)
    rows = []
    with pool_type(jobs or os.cpu_count()) as pool:
        for row in pool.map(index_file, paths, chunksize=16 if processes else 1):
            rows.append(row)
            if progress and len(rows) % 100 == 0:
                progress(len(rows))
    return rows


def index_dask(paths, client, partitions=None):
    """The rows of the files, made on the Dask cluster of the client, in the order of paths."""
    import dask.bag
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    bag = dask.bag.from_sequence(paths, npartitions=partitions or max(1, min(len(paths), 4 * workers)))
    return bag.map(index_file).compute(scheduler=client.get)


def write_csv(rows, out):
    writer = csv.DictWriter(out, fieldnames=FIELDS)
    writer.writeheader()
    writer.writerows(rows)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Index a folder tree of song files into CSV.")
    parser.add_argument("--version", action="version", version=f"index_archive.py {scq.__version__}")
    parser.add_argument("root", help="the folder to index")
    parser.add_argument("-o", "--output", default="-", help="the CSV file (default: standard output)")
    parser.add_argument("-j", "--jobs", type=int, help="threads or processes (default: the processors)")
    parser.add_argument("--processes", action="store_true", help="a process pool instead of threads")
    parser.add_argument("--dask", metavar="ADDRESS", help="the scheduler of a Dask cluster")
    parser.add_argument("--dask-local", metavar="WORKERS", type=int,
                        help="start a Dask cluster of WORKERS processes on this machine")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.root):
        print(f"index_archive.py: {args.root}: not a folder", file=sys.stderr)
        return 1
    paths = find_songs(args.root)
    progress = None
    if sys.stderr.isatty():
        def progress(done):
            print(f"\r{done}/{len(paths)} files", end="", file=sys.stderr, flush=True)
    if args.dask or args.dask_local:
        from distributed import Client, LocalCluster
        if args.dask:
            with Client(args.dask) as client:
                rows = index_dask(paths, client)
        else:
            with LocalCluster(n_workers=args.dask_local, threads_per_worker=1,
                              dashboard_address=None) as cluster, Client(cluster) as client:
                rows = index_dask(paths, client)
    else:
        rows = index_local(paths, args.jobs, args.processes, progress)
        if progress:
            print(file=sys.stderr)
    try:
        if args.output == "-":
            write_csv(rows, sys.stdout)
        else:
            with open(args.output, "w", newline="", encoding="utf-8") as out:
                write_csv(rows, out)
    except OSError as e:
        print(f"index_archive.py: {args.output}: {e.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
