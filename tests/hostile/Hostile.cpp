#include "Hostile.h"

#include "perform/PlayTime.h"
#include "song/Staff.h"
#include "staff/Audit.h"

namespace scq::test {

Loaded LoadFromMemory(const Bytes& bytes) {
    Loaded result;
    result.song = LoadSongFromMemory(bytes.data(), bytes.size(), result.info);
    return result;
}

bool StatusGivesSong(int status) {
    return status == kLoadEmpty || status == kLoadNewest || status == kLoadOlder ||
           status == kLoadCorrupt;
}

std::string CheckWellFormed(const Song& song) {
    if (song.staffCount() < 1) return "no staff";
    for (int i = 0; i < song.staffCount(); ++i) {
        const Staff* staff = song.staffAt(i);
        const std::string where = "staff " + std::to_string(i) + ": ";
        if (!staff) return where + "missing";
        if (staff->itemCount() < 2) return where + "fewer than two items";
        if (staff->itemAt(0)->typeCode() != kBarLineItem) return where + "no opening bar line";
        if (staff->lastItem()->typeCode() != kBarLineItem) return where + "no closing bar line";
        if (staff->lyrics && staff->lyrics->lines.size() > LyricsBlock::kMaxLines) {
            return where + "more than nine lyric lines";
        }
    }
    return "";
}

void AuditAndPlay(Song& song) {
    auditSong(song, 1);
    PlayTimeSeconds(song, PlayTimeVariant::Scq);
    PlayTimeSeconds(song, PlayTimeVariant::Smf);
}

}  // namespace scq::test
