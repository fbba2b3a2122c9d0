#include "song/SongReader.h"

#include <locale.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "items/BarsAndFlow.h"
#include "items/ItemArena.h"
#include "items/ItemFactory.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "song/Staff.h"
#include "staff/Audit.h"
#include "stream/SongInputStream.h"

namespace scq {

namespace {

// Reads a signed byte.
int ReadSignedByte(SongInputStream& s) {
    return static_cast<int8_t>(static_cast<uint8_t>(s.ReadU8()));
}

// Parses up to four margins with "%f %f %f %f" in the C locale, whatever locale the process
// runs in. Returns the number of fields converted (0 when nothing parses).
int ParseMargins(const char* text, float out[4]) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    locale_t previous = static_cast<locale_t>(0);
    if (cLocale) previous = uselocale(cLocale);
    const int n = std::sscanf(text, "%f %f %f %f", &out[0], &out[1], &out[2], &out[3]);
    if (cLocale) uselocale(previous);
    return n < 0 ? 0 : n;
}

// Formats a progress line behind one extra leading space and hands it to the sink.
void Report(LogSink* sink, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Report(LogSink* sink, const char* format, ...) {
    if (!sink) return;
    char line[256];
    line[0] = ' ';
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + 1, sizeof line - 1, format, args);
    va_end(args);
    sink->show(line);
}

// The largest room reserved for a staff's item list before its items arrive.
constexpr int kMaxItemRoomHint = 1024;

// Staffs of at least this many items are audited on a second thread while the next staff is
// read; smaller ones cost less to audit than a thread costs to start.
constexpr int kThreadedAuditItems = 4096;

// Both audit walks of a staff: the first changes what the second one reads.
void AuditLoadedStaff(Staff& staff) {
    auditStaff(staff, -1, -1);
    auditStaff(staff, -1, -1);
}

// Audits the staffs of a load as they come. A large staff waits in a queue for a second thread
// while the reader goes on with the next staff; once the reader is done, it takes its share of
// what is left. An audit reads and changes nothing but its own staff, so where and when it runs
// changes nothing in the result. A failure of an audit (running out of memory) comes out of
// finish(); a load that fails before that drops the audits still waiting.
class LoadAuditor {
public:
    LoadAuditor() = default;
    LoadAuditor(const LoadAuditor&) = delete;
    LoadAuditor& operator=(const LoadAuditor&) = delete;
    ~LoadAuditor() { stop(); }

    // The staff must stay where it is until finish() has returned.
    void audit(Staff& staff) {
        if (staff.itemCount() < kThreadedAuditItems || !startThread()) {
            AuditLoadedStaff(staff);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            waiting_.push_back(&staff);
        }
        changed_.notify_one();
    }

    // Audits the staffs still waiting, beside the second thread, and waits for it.
    void finish() {
        while (Staff* staff = take(false)) run(*staff);
        stop();
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    bool startThread() {
        if (thread_.joinable()) return true;
        try {
            thread_ = std::thread([this] {
                while (Staff* staff = take(true)) run(*staff);
            });
            return true;
        } catch (const std::system_error&) {
            return false;  // no thread to be had: the reader audits every staff itself
        }
    }
    // The next waiting staff; nullptr when none waits and, for the thread (`wait`), once the
    // reader has stopped.
    Staff* take(bool wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wait) changed_.wait(lock, [this] { return !waiting_.empty() || stopped_; });
        if (waiting_.empty()) return nullptr;
        Staff* staff = waiting_.front();
        waiting_.pop_front();
        return staff;
    }
    void run(Staff& staff) {
        try {
            AuditLoadedStaff(staff);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
        }
    }
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
            waiting_.clear();
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Staff*> waiting_;
    bool stopped_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

// Whether the stream has failed or run out; only then is a failure's place worth working out.
bool Failed(const SongInputStream& s) {
    return s.errorFlag != 0 || s.endReached != 0;
}

// Notes that the data ran out (or was refused) inside the named record.
void NoteEnd(LoadFailure* failure, SongInputStream& s, const char* record, int staffNumber = 0) {
    if (!failure || failure->set() || !Failed(s)) return;
    char where[96];
    if (staffNumber > 0) {
        std::snprintf(where, sizeof where, "%s%d", record, staffNumber);
    } else {
        std::snprintf(where, sizeof where, "%s", record);
    }
    if (s.ReachedEnd()) {
        failure->note(s.Tell(), "file ended inside %s", where);
    } else {
        failure->note(s.Tell(), "damaged data in %s", where);
    }
}

// Why the item `number` (from 1) of a staff could not be read.
void NoteItemFailure(LoadFailure* failure, SongInputStream& s, int staffNumber, int number) {
    if (!failure || failure->set()) return;
    if (s.ReachedEnd()) {
        failure->note(s.Tell(), "file ended inside item %d of staff %d", number, staffNumber);
        return;
    }
    if (s.HasError()) {
        failure->note(s.Tell(), "damaged item %d of staff %d (nested too deeply)", number,
                      staffNumber);
        return;
    }
    // The item reader refuses an unknown type code after reading just the code: read it again.
    const int64_t at = s.Tell() - 2;
    int code = -1;
    if (at >= 0 && s.Seek(at)) code = s.ReadInt16();
    failure->note(at, "unknown item type code %d in staff %d, item %d", code, staffNumber,
                  number);
    s.Seek(at + 2);
}

}  // namespace

void ReadSongInformation(Song& song, int revision, SongInputStream& s) {
    s.ReadString(song.title, sizeof song.title);
    s.ReadString(song.author, sizeof song.author);
    s.ReadString(song.copyright1, sizeof song.copyright1);
    s.ReadString(song.copyright2, sizeof song.copyright2);
    s.ReadString(song.comments, sizeof song.comments);

    song.setFlag(kFlagSongOption5, 1);
    song.setFlag(kFlagSongOption6, 1);
    song.staffSelection.clear();
    song.staffSelection.set(0);
    song.setFlag(kFlagLayeringEnabled, 0);

    char text[128];
    const size_t optionLength = s.ReadString(text, sizeof text);
    if (revision >= 6) {
        if (optionLength >= 1 && text[0] == 'N') song.setFlag(kFlagSongOption5, 0);
        if (optionLength >= 2 && text[1] == 'N') song.setFlag(kFlagSongOption6, 0);
    }
    s.ReadString(text, sizeof text);  // "F2" in every file; carries nothing

    if (revision >= 4) {
        song.barNumberStyle = s.ReadInt16();
        song.firstBarNumber = s.ReadInt16();
    }
    if (revision < 6) return;

    s.ReadString(text, sizeof text);
    float margins[4] = {0, 0, 0, 0};
    const int parsed = ParseMargins(text, margins);
    for (int i = 0; i < parsed && i < 4; ++i) song.pageMargins[static_cast<size_t>(i)] = margins[i];

    song.pageOptionByte1 = ReadSignedByte(s);
    int word = s.ReadInt16();
    if (revision < 15 && word > 5) --word;
    song.pageOptionWord1 = word;

    if (revision >= 8) {
        for (auto& b : song.staffSelection.bytes) b = static_cast<uint8_t>(s.ReadU8());
        song.setFlag(kFlagLayeringEnabled, s.ReadU8() & 1);
    }

    if (revision >= 7) {
        ReadFontTable(*song.fonts, revision, s);
    } else {
        ResetFonts(*song.fonts, ScaleNearest(s.ReadInt16(), 8, 5));
    }

    song.setFlag(kFlagSongOption4, s.ReadU8() & 1);
    song.pageOptionByte2 = ReadSignedByte(s);
    song.pageOptionWord2 = s.ReadInt16();
}

void ReadFontTable(FontTable& fonts, int revision, SongInputStream& s) {
    fonts.baseSize = s.ReadInt16();
    const int count = revision >= 15 ? FontTable::kEntryCount : 10;
    for (int i = 0; i < count; ++i) {
        FontEntry& e = fonts.entries[static_cast<size_t>(i)];
        s.ReadString(e.name, sizeof e.name);
        e.style = static_cast<uint8_t>(s.ReadU8() & 3);
        e.size = static_cast<int32_t>(s.ReadUInt16());
        e.charset = static_cast<uint8_t>(s.ReadU8());
    }
}

void ReadSongBody(Song& song, int revision, SongInputStream& s, LogSink* sink,
                  LoadFailure* failure) {
    ReadSongInformation(song, revision, s);
    NoteEnd(failure, s, "the song information");
    const int count = s.ReadInt16();
    NoteEnd(failure, s, "the staff count");
    LoadAuditor auditor;
    for (int i = 0; i < count && !s.HasError(); ++i) {
        auto staff = std::make_unique<Staff>(Staff::Unfilled{});
        ReadStaffItems(*staff, revision, s, sink, failure, i + 1);
        Report(sink, " Auditing %s", staff->staffName);
        auditor.audit(*staff);
        song.appendLoadedStaff(std::move(staff));
    }
    auditor.finish();
    if (revision < 8) {
        // Old files store no selection: it becomes the group of the first staff.
        if (const Staff* first = song.staffAt(0)) {
            song.selectGroup(first->groupName, song.staffSelection);
        } else {
            song.staffSelection.clear();
        }
    }
    if (song.anyStaffModified()) song.setFlag(kFlagModified, 1);
}

void ReadStaff(Staff& staff, int revision, SongInputStream& s, LogSink* sink,
               LoadFailure* failure, int staffNumber) {
    ReadStaffItems(staff, revision, s, sink, failure, staffNumber);
    Report(sink, " Auditing %s", staff.staffName);
    auditStaff(staff, -1, -1);
}

void ReadStaffItems(Staff& staff, int revision, SongInputStream& s, LogSink* sink,
                    LoadFailure* failure, int staffNumber) {
    staff.clearItems();
    staff.lyrics.reset();
    staff.instrument = InstrumentPatch{};

    ReadStaffProperties(staff, revision, s);
    if (revision >= 4 && s.ReadInt16() != 0) {
        NoteEnd(failure, s, "the staff record of staff ", staffNumber);
        auto block = std::make_unique<LyricsBlock>();
        ReadLyricsBlock(*block, revision, s);
        staff.lyrics = std::move(block);
        NoteEnd(failure, s, "the lyrics of staff ", staffNumber);
    }
    s.ReadInt16();
    s.ReadInt16();
    const int stored = s.ReadInt16();
    NoteEnd(failure, s, "the staff record of staff ", staffNumber);
    int remaining = stored - 2;
    Report(sink, " Loading %s:%s (%d items)", staff.groupName, staff.staffName, remaining);

    // The room is only a hint for the list's growth: it is never more than the record claims
    // to hold, and never more than a small constant, so that a claimed count cannot decide how
    // much memory is taken before the items are really there.
    staff.reserveItems(std::clamp(stored, 2, kMaxItemRoomHint));
    staff.appendItem(std::make_unique<BarLineItem>(kBarSingle, 1));

    // Files of revision 8 and older store the opening and closing bar lines themselves.
    if (revision <= 8) {
        ItemFactory::readItem(revision, s);
        NoteEnd(failure, s, "the opening bar line of staff ", staffNumber);
    }
    // Every item the record holds is kept, even past the editing limit of 12000.
    ItemArenaScope arena(&staff.itemArena());
    int number = 0;
    while (remaining > 0 && !s.HasError()) {
        ReadItemResult result = ItemFactory::readItem(revision, s);
        --remaining;
        ++number;
        if (result.item) {
            staff.appendItem(std::move(result.item));
            // A record cut short inside its 16-bit words raises no error flag by itself.
            if (s.endReached && failure) NoteItemFailure(failure, s, staffNumber, number);
        } else {
            NoteItemFailure(failure, s, staffNumber, number);
            s.SetError();
        }
    }
    staff.appendItem(std::make_unique<BarLineItem>(kBarSectionClose, 1));
    staff.setEndingBar(staff.endingBar);
    if (revision <= 8) {
        ItemFactory::readItem(revision, s);
        NoteEnd(failure, s, "the closing bar line of staff ", staffNumber);
    }

}

void ReadStaffProperties(Staff& staff, int revision, SongInputStream& s) {
    s.ReadString(staff.staffName, sizeof staff.staffName);
    s.ReadString(staff.groupName, sizeof staff.groupName);
    staff.setEndingBar(revision >= 9 ? s.ReadU8() : 0);
    staff.muted = s.ReadInt16();
    staff.channel = s.ReadInt16();
    staff.device = s.ReadInt16();
    staff.instrument.bankSelect = s.ReadInt16();
    staff.instrument.bank = s.ReadInt16();
    staff.instrument.patch = s.ReadInt16();
    staff.staffStyle = s.ReadInt16();
    staff.upperBoundary = s.ReadInt16();
    staff.lowerBoundary = s.ReadInt16();

    staff.lineCount = revision >= 16 ? static_cast<uint8_t>(s.ReadU8()) : 5;
    if (staff.lineCount > 32) staff.lineCount = 5;
    staff.clampBoundaries();

    staff.layerWithNext = revision >= 8 ? s.ReadInt16() : 0;
    staff.transposition = s.ReadInt16();
    staff.volume = s.ReadInt16();
    staff.stereoPan = s.ReadInt16();
    staff.staffOptionByte = revision >= 10 ? static_cast<uint8_t>(s.ReadU8()) : 0;
}

void ReadLyricsBlock(LyricsBlock& block, int revision, SongInputStream& s) {
    block.lines.clear();
    const int count = s.ReadInt16();
    if (revision >= 8) {
        unsigned options = s.ReadUInt16();
        if (revision == 15 && options == 65535) options = 0;
        block.lyricWord = s.ReadInt16();
        block.lyricPlacement = options & 1u;
        if (revision >= 15) block.lyricAlignment = (options >> 1) & 1u;
    }
    block.lines.reserve(3);
    for (int i = 0; i < count && !s.HasError(); ++i) {
        auto line = std::make_unique<LyricLine>();
        ReadLyricLine(*line, revision, s);
        // A staff keeps at most nine lines; further lines are read and dropped.
        if (i < LyricsBlock::kMaxLines) block.lines.push_back(std::move(line));
    }
}

void ReadLyricLine(LyricLine& line, int, SongInputStream& s) {
    line.bytes.clear();
    line.usedLength = 1;
    const int n = s.ReadInt16();
    if (n == 0) return;
    line.usedLength = s.ReadInt16();
    if (n < 0) return;  // a negative size carries no bytes
    const auto size = static_cast<size_t>(n);
    line.bytes.assign(size, 0);
    const size_t got = s.ReadBlock(line.bytes.data(), size);
    // A block cut short keeps its size, with zeros where nothing arrived.
    for (size_t i = got; i < size; ++i) line.bytes[i] = 0;
}

bool ReadItemRun(Staff& staff, int insertAt, SongInputStream& s, int* lastInserted) {
    if (lastInserted) *lastInserted = insertAt - 1;
    const int revision = s.ReadInt16();
    const int count = s.ReadInt16();
    // A run goes strictly between the two bar lines, and only when it fits.
    if (revision > kNewestRevision || count >= staff.roomLeft()) return false;
    if (insertAt < 1 || insertAt > staff.lastItemIndex()) return false;
    int inserted = 0;
    while (inserted < count && !s.HasError()) {
        ReadItemResult result = ItemFactory::readItem(revision, s);
        if (!result.ok || !result.item) break;
        staff.insertItemAt(std::move(result.item), insertAt + inserted);
        ++inserted;
    }
    if (inserted > 0) auditAround(staff, insertAt, insertAt + inserted);
    if (lastInserted) *lastInserted = insertAt + inserted - 1;
    return inserted == count;
}

void WriteItemRun(SongInputStream& s, const Staff& staff, int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, staff.lastItemIndex());
    const int count = last >= first ? last - first + 1 : 0;
    s.WriteInt16(kNewestRevision);
    s.WriteInt16(count);
    for (int i = first; i <= last; ++i) ItemFactory::writeItem(s, *staff.itemAt(i));
}

}  // namespace scq
