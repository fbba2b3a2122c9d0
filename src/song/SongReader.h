#pragma once

#include <cstdint>

namespace scq {

class Song;
class Staff;
class SongInputStream;
class LogSink;
struct FontTable;
struct LyricsBlock;
struct LyricLine;
struct LoadFailure;

// The readers of the song body. Each takes the format revision and the stream; none fails by
// itself: read errors show in the stream's error flag. Given a LoadFailure, the body reader and
// the staff reader also note there where the data first ran out or was refused.
void ReadSongBody(Song& song, int revision, SongInputStream& s, LogSink* sink,
                  LoadFailure* failure = nullptr);
void ReadSongInformation(Song& song, int revision, SongInputStream& s);
void ReadFontTable(FontTable& fonts, int revision, SongInputStream& s);
// `staffNumber` (from 1) names the staff in the failure's reason.
// The staff reader audits the staff once. The body reader audits each staff twice, since the
// first walk changes what the second one reads.
void ReadStaff(Staff& staff, int revision, SongInputStream& s, LogSink* sink,
               LoadFailure* failure = nullptr, int staffNumber = 1);
// The staff reader without the audit.
void ReadStaffItems(Staff& staff, int revision, SongInputStream& s, LogSink* sink,
                    LoadFailure* failure = nullptr, int staffNumber = 1);
void ReadStaffProperties(Staff& staff, int revision, SongInputStream& s);
void ReadLyricsBlock(LyricsBlock& block, int revision, SongInputStream& s);
void ReadLyricLine(LyricLine& line, int revision, SongInputStream& s);

// Reads an item run (the copy format: revision, count, records) into a staff from an
// insertion index. Returns whether all items came in; `lastInserted` gets the index of the
// last inserted item (insertion index - 1 when none came in).
// The run must go strictly between the staff's two bar lines (1 <= insertAt <= lastItemIndex)
// and fit (count below roomLeft); otherwise nothing is read.
bool ReadItemRun(Staff& staff, int insertAt, SongInputStream& s, int* lastInserted);

// Writes the items first..last of a staff as a run in the newest revision.
void WriteItemRun(SongInputStream& s, const Staff& staff, int first, int last);

}  // namespace scq
