// A program outside the project that uses the installed library: load a song file, read the
// song, compute a play time.
#include <cstdio>
#include <memory>

#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    scq::InitSongDefaults();
    scq::SongFileInfo info;
    std::unique_ptr<scq::Song> song = scq::LoadSongFile(argv[1], info);
    if (!song) return 1;
    unsigned seconds = scq::PlayTimeSeconds(*song, scq::PlayTimeVariant::Scq);
    std::printf("%s|%d|%d|%u\n", song->title, song->staffCount(), static_cast<int>(info.status),
                seconds);
    return 0;
}
