// Writes the seed corpus of the fuzz targets, made with the test song builder:
//
//     make_corpus <directory>
//
// <directory>/load             songs: every kind at every revision 0..16, rich songs of every
//                              revision, the flow structures, compressed songs, tiny files
// <directory>/load_compressed  the plain songs that the compressed target wraps itself
// <directory>/repair           songs and texts with line ends of every sort
// <directory>/item_run         item runs: every kind at every revision, runs of all kinds
// <directory>/play_time        the crafted songs at scale 1 (plain and compressed) and at their
//                              full plain scale; a rich song and the flow songs
// <directory>/convert          the songs of the export tests that fit the fuzzer's input size,
//                              the crafted songs at scale 1

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/CraftedSongs.h"
#include "support/ExportSongs.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

using namespace scq::test;
namespace fs = std::filesystem;

namespace {

int failures = 0;

void Put(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    if (!WriteFile((dir / name).string(), bytes)) {
        std::fprintf(stderr, "make_corpus: cannot write %s\n", (dir / name).c_str());
        ++failures;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus <directory>\n");
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path load = root / "load", compressed = root / "load_compressed",
                   repair = root / "repair", itemRun = root / "item_run",
                   playTime = root / "play_time", convert = root / "convert";
    std::error_code ec;
    for (const fs::path& dir : {load, compressed, repair, itemRun, playTime, convert}) {
        fs::create_directories(dir, ec);
        if (ec) {
            std::fprintf(stderr, "make_corpus: cannot make %s\n", dir.c_str());
            return 1;
        }
    }

    const std::vector<Item> kinds = EveryKindItems();
    for (int revision = 0; revision <= 16; ++revision) {
        const std::string r = "-r" + std::to_string(revision);
        // Every kind by itself, in a song and in a run.
        for (size_t k = 0; k < kinds.size(); ++k) {
            const std::string name = "kind" + std::to_string(k) + r;
            SongSpec one;
            one.revision = revision;
            one.staffs = {MakeStaff("One", {kinds[k]})};
            Put(load, name + ".scq", BuildSong(one));
            Put(itemRun, name + ".run", BuildItemRun(revision, {kinds[k]}));
        }
        Put(itemRun, "all" + r + ".run", BuildItemRun(revision, kinds));
        const Bytes rich = BuildSong(RichSong(revision));
        Put(load, "rich" + r + ".scq", rich);
        Put(compressed, "rich" + r + ".scq", rich);
    }
    int n = 0;
    for (int revision : {16, 8, 3}) {
        for (const SongSpec& song : FlowSongs(revision)) {
            const std::string name = "flow" + std::to_string(n++) + ".scq";
            const Bytes bytes = BuildSong(song);
            Put(load, name, bytes);
            Put(compressed, name, bytes);
            if (revision == 16) Put(itemRun, name + ".run", BuildItemRun(16, song.staffs[0].items));
        }
    }
    SongSpec richCompressed = RichSong(16);
    richCompressed.compressed = true;
    Put(load, "rich-compressed.scq", BuildSong(richCompressed));
    Put(load, "small-compressed.scq", Compress(BuildSong(SmallSong(1, 900))));
    Put(load, "small.scq", BuildSong(SmallSong(2, 900)));
    Put(load, "two-staffs.scq", BuildSong(LargeSong(2, 40)));
    Put(load, "empty.scq", {});
    Put(load, "one-byte.scq", {'['});
    Put(load, "header-only.scq", BuildHeader(HeaderSpec{}, 16));

    // The crafted songs at scale 1, plain and compressed, and at the full plain scale: big
    // enough to show a cost that grows faster than the file, small enough that a linear cost
    // stays below the limit per input. (Their full compressed scale is the crafted tests'.)
    for (const crafted::Family& family : crafted::Families()) {
        const std::string name(family.name);
        const Bytes small = crafted::Build(family, 1, false);
        Put(playTime, name + "-1.scq", small);
        Put(playTime, name + "-1-z.scq", Compress(small));
        Put(convert, name + "-1.scq", small);
        Put(playTime, name + "-full.scq", crafted::Build(family, family.fullPlainScale, false));
    }
    Put(playTime, "rich.scq", BuildSong(RichSong(16)));
    n = 0;
    for (const SongSpec& song : FlowSongs(16)) {
        Put(playTime, "flow" + std::to_string(n++) + ".scq", BuildSong(song));
    }

    Put(repair, "small.scq", BuildSong(SmallSong(3, 900)));
    Put(repair, "rich.scq", BuildSong(RichSong(16)));
    Put(repair, "small-compressed.scq", Compress(BuildSong(SmallSong(4, 900))));
    Put(repair, "line-ends.txt", Bytes{'a', '\r', '\n', '\r', '\r', '\n', '\n', 'b', '\r'});
    Put(repair, "converted.txt", ToTextTransfer(Bytes{'x', '\n', '\n', '\r', '\n', 'y'}));

    for (const NamedSong& song : ExportSongs(false)) {
        const Bytes bytes = BuildSong(song.song);
        if (bytes.size() <= 65536) Put(convert, song.name + ".scq", bytes);
    }
    return failures == 0 ? 0 : 1;
}
