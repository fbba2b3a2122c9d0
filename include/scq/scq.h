#pragma once

// scq: reading Staveforge Engraver song files.
//
// This is the library's public API: small and stable, C++17, in namespace scq. It opens a song
// from a file or from bytes in memory (repairing a file damaged by a text-mode transfer, when
// asked), tells how the load went, gives the song's texts as UTF-8, its staffs and items as
// read-only views, its two play times and the events of either rendering, and exports it as a
// Standard MIDI File or as a MusicXML document.
//
//     scq::OpenOptions options;
//     options.onRepair = [](const std::string& notice) { std::cerr << notice; };
//     scq::SongFile song = scq::SongFile::open("sonatina.scq", options);
//     if (!song) {
//         std::cerr << song.result().outcome << ": " << song.result().reason << '\n';
//         return 1;
//     }
//     std::cout << song.title() << ' ' << song.playTimes().scqSeconds() << " s\n";
//     std::vector<std::uint8_t> midi;
//     song.toMidi(midi);
//
// Nothing here throws for a file's sake: a failed load is a SongFile without a song and a result
// that says why. A SongFile is not shared between threads; different ones may be used at once.
// The views (StaffView, ItemView) point into their song and are valid while it lives.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "scq/version.h"

#if defined(__GNUC__)
#define SCQ_API __attribute__((visibility("default")))
#else
#define SCQ_API
#endif

namespace scq {

// The version of the library the program runs with, "1.75" (SCQ_VERSION_STRING of its build).
SCQ_API const char* Version();

// The two renderings of a song: its own playback rules (pauses of breath marks and fermatas
// counted) and the Standard MIDI File rendering (those pauses left out).
enum class Rendering { Scq, Smf };

// How a load went.
struct LoadResult {
    // In one word: ok, empty, repaired, damaged, not-found, not-a-file, unreadable, not-a-song,
    // too-new, rejected-header, out-of-memory.
    std::string outcome = "not-a-song";
    // The loader's status: 0 empty, 1 newest revision, 2 older revision, 3 not a song,
    // 4 newer revision, 5 bad leading word, 6 unknown product, 7 damaged, 8 out of memory.
    int status = 3;
    bool repaired = false;  // the song was loaded from a repaired copy
    // Anything but ok, empty and repaired. A damaged song (status 7, or a song whose data ended
    // early) is a failure that still has a song: what could be read.
    bool failed = true;
    std::string reason;        // of the failure, in plain words; empty without one
    std::int64_t offset = -1;  // where in the song data it happened; -1 when not at a place
    // The header fields.
    std::string productName;  // UTF-8
    int formatRevision = 0;
    int productVersion = 0;  // major * 256 + minor
    int secondHeaderWord = 0;
};

struct OpenOptions {
    // Repair a file whose load failed the way a text-mode transfer damages a file, and load
    // the repaired copy (made in memory) instead.
    bool repair = true;
    // The most items a load reads (0: no limit); past it the load stops as damaged. The
    // default, 2^20, holds 64 staffs filled to the editor's 12000 items each.
    std::uint64_t maxItems = 1048576;
    // Called with the notice of a repair (several lines, each ending in a line feed) when a
    // repaired copy was loaded. Without it the notice is dropped.
    std::function<void(const std::string& notice)> onRepair;
};

// One event of a rendering, as scqdump lists it: [time, kind, a, b, c, device].
struct Event {
    std::int32_t time = 0;  // ticks
    int kind = 0;
    int a = 0;
    int b = 0;
    int c = 0;
    int device = 0;
};

struct PlayTime {
    std::uint32_t scqMilliseconds = 0;
    std::uint32_t smfMilliseconds = 0;
    // Whole seconds as scqinfo prints them: rounded, halves up.
    unsigned scqSeconds() const { return static_cast<unsigned>((scqMilliseconds + 500u) / 1000u); }
    unsigned smfSeconds() const { return static_cast<unsigned>((smfMilliseconds + 500u) / 1000u); }
};

struct MidiResult {
    bool written = false;  // false: more staffs than a Standard MIDI File has tracks
    int tracks = 0;        // conductor track included
    bool full = false;     // the rendering filled the event sequence; the file holds its start
};

struct XmlExportOptions {
    std::string encodingDate;  // YYYY-MM-DD; empty: today (UTC)
};

class SongFile;

// An item of a staff, read-only. Its fields are those of scqdump's item objects.
class SCQ_API ItemView {
public:
    int type() const;          // the item type code, 0..18
    std::string kind() const;  // "NoteItem", "ClefItem", ...; "" for an unknown type
    int visibility() const;
    int colour() const;
    // The length in ticks of a note, rest, chord or rest chord; -1 for other items.
    std::int32_t durationTicks() const;
    // The members of a chord (none for other items).
    int memberCount() const;
    ItemView member(int index) const;  // 0 <= index < memberCount()
    // The item as scqdump writes it: a JSON object, UTF-8.
    std::string json() const;

private:
    friend class StaffView;
    explicit ItemView(const void* item) : item_(item) {}
    const void* item_;
};

// A staff of a song, read-only.
class SCQ_API StaffView {
public:
    std::string name() const;       // UTF-8
    std::string groupName() const;  // UTF-8
    int channel() const;
    int device() const;
    bool muted() const;
    int transposition() const;
    int volume() const;
    int stereoPan() const;
    int itemCount() const;
    ItemView item(int index) const;  // 0 <= index < itemCount()
    // The staff as scqdump writes it, items included: a JSON object, UTF-8.
    std::string json() const;

private:
    friend class SongFile;
    explicit StaffView(const void* staff) : staff_(staff) {}
    const void* staff_;
};

// The text fields of a song.
enum class TextField { Title, Author, Copyright1, Copyright2, Comments };

class SCQ_API SongFile {
public:
    // Loads a song file. Never fails to return: see result() and operator bool.
    static SongFile open(const std::string& path, const OpenOptions& options = {});
    // Loads the bytes of a song file held in memory, as open() loads a file holding them.
    static SongFile fromBytes(const void* data, std::size_t size, const OpenOptions& options = {});

    // A moved-from SongFile holds no song and a result of "not-a-song".
    SongFile(SongFile&&) noexcept;
    SongFile& operator=(SongFile&&) noexcept;
    ~SongFile();

    // Whether the load made a song (also true for a damaged one: check result().failed).
    explicit operator bool() const;
    const LoadResult& result() const;

    // The texts, decoded from windows-1252 into UTF-8; empty without a song.
    std::string text(TextField field) const;
    // The texts' bytes as stored, up to their first 0 byte.
    std::string rawText(TextField field) const;
    std::string title() const { return text(TextField::Title); }
    std::string author() const { return text(TextField::Author); }
    std::string copyright1() const { return text(TextField::Copyright1); }
    std::string copyright2() const { return text(TextField::Copyright2); }
    std::string comments() const { return text(TextField::Comments); }

    int staffCount() const;
    StaffView staff(int index) const;  // 0 <= index < staffCount()

    // Rendering audits the song where a staff needs it, so the calls below are not const.
    // Both play times, as scqinfo gives them.
    PlayTime playTimes();
    // The events of a rendering, in the sequence's order.
    std::vector<Event> events(Rendering rendering);

    // The Standard MIDI File (format 1, 192 ticks per quarter note), replacing what `out` held.
    MidiResult toMidi(std::vector<std::uint8_t>& out);
    MidiResult toMidi(std::ostream& out);
    // The MusicXML 4.0 score-partwise document, UTF-8, replacing what `out` held. False
    // without a song.
    bool toMusicXml(std::string& out, const XmlExportOptions& options = {});
    bool toMusicXml(std::vector<std::uint8_t>& out, const XmlExportOptions& options = {});
    // The same document written to `out` as it is made, never held whole. False without a
    // song, or when the stream failed (the writing stops there).
    bool toMusicXml(std::ostream& out, const XmlExportOptions& options = {});

    // scqdump's document of this load (format "scqdump/1"), compact JSON without a line end;
    // with `performance` the play-time figures of both renderings, with `events` their events.
    std::string json(bool performance = false, bool events = false);

private:
    struct Impl;
    explicit SongFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace scq
