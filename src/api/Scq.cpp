#include "scq/scq.h"

#include <cstring>
#include <ostream>

#include "export/JsonWriter.h"
#include "export/MidiWriter.h"
#include "export/MusicXmlWriter.h"
#include "export/SongDocument.h"
#include "export/Text.h"
#include "items/DurationItems.h"
#include "load/Repair.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "song/Staff.h"
#include "stream/MemoryStream.h"

namespace scq {

namespace {

const NotationItem& AsItem(const void* p) {
    return *static_cast<const NotationItem*>(p);
}
const Staff& AsStaff(const void* p) {
    return *static_cast<const Staff*>(p);
}

template <size_t N>
std::string Raw(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}
template <size_t N>
std::string Utf8(const char (&field)[N]) {
    return Windows1252ToUtf8(field, N);
}

bool HasDuration(int type) {
    return type == kNoteItem || type == kRestItem || type == kChordItem || type == kRestChordItem;
}

template <class Write>
std::string JsonText(Write&& write) {
    std::string text;
    {
        json::BlockWriter out(&text);
        json::Writer w(out, false);
        write(w);
    }
    return text;
}

LoadResult MakeResult(const SongFileInfo& info, bool repaired) {
    LoadResult r;
    r.outcome = LoadOutcome(info, repaired);
    r.status = static_cast<int>(info.status);
    r.repaired = repaired;
    r.failed = IsLoadFailure(info);
    if (r.failed) {
        r.reason = info.error.set() ? info.error.reason : "failed";
        r.offset = info.error.offset;
    }
    r.productName = Utf8(info.productName);
    r.formatRevision = info.formatRevision;
    r.productVersion = info.productVersion;
    r.secondHeaderWord = info.secondHeaderWord;
    return r;
}

}  // namespace

const char* Version() {
    return SCQ_VERSION_STRING;
}

// ---- ItemView --------------------------------------------------------------------------------

int ItemView::type() const {
    return AsItem(item_).typeCode();
}

std::string ItemView::kind() const {
    return json::ItemKindName(type());
}

int ItemView::visibility() const {
    return static_cast<int>(AsItem(item_).visibility);
}

int ItemView::colour() const {
    return static_cast<int>(AsItem(item_).colour);
}

std::int32_t ItemView::durationTicks() const {
    const NotationItem& item = AsItem(item_);
    return HasDuration(item.typeCode()) ? item.durationTicks() : -1;
}

int ItemView::memberCount() const {
    const NotationItem& item = AsItem(item_);
    if (item.typeCode() != kChordItem) return 0;
    int count = 0;
    for (const auto& m : static_cast<const ChordItem&>(item).members) count += m != nullptr;
    return count;
}

ItemView ItemView::member(int index) const {
    // Members are counted as scqdump lists them: the empty slots left out.
    const auto& chord = static_cast<const ChordItem&>(AsItem(item_));
    for (const auto& m : chord.members) {
        if (m && index-- == 0) return ItemView(m.get());
    }
    return ItemView(nullptr);
}

std::string ItemView::json() const {
    return JsonText([this](json::Writer& w) { json::WriteItem(w, AsItem(item_)); });
}

// ---- StaffView -------------------------------------------------------------------------------

std::string StaffView::name() const {
    return Utf8(AsStaff(staff_).staffName);
}
std::string StaffView::groupName() const {
    return Utf8(AsStaff(staff_).groupName);
}
int StaffView::channel() const {
    return AsStaff(staff_).channel;
}
int StaffView::device() const {
    return AsStaff(staff_).device;
}
bool StaffView::muted() const {
    return AsStaff(staff_).muted != 0;
}
int StaffView::transposition() const {
    return AsStaff(staff_).transposition;
}
int StaffView::volume() const {
    return AsStaff(staff_).volume;
}
int StaffView::stereoPan() const {
    return AsStaff(staff_).stereoPan;
}
int StaffView::itemCount() const {
    return AsStaff(staff_).itemCount();
}
ItemView StaffView::item(int index) const {
    return ItemView(AsStaff(staff_).itemAt(index));
}
std::string StaffView::json() const {
    return JsonText([this](json::Writer& w) { json::WriteStaff(w, AsStaff(staff_)); });
}

// ---- SongFile ------------------------------------------------------------------------------------

struct SongFile::Impl {
    std::string name;  // the path given, "" for bytes
    SongFileInfo info;
    LoadResult result;
    std::unique_ptr<scq::Song> song;
};

namespace {

LoadOptions ToLoadOptions(const OpenOptions& options) {
    LoadOptions load;
    load.maxItems = options.maxItems;
    return load;
}

// The repair notice goes to the caller's callback, never to standard error.
LoadResult Finish(const SongFileInfo& info, bool repaired, const std::string& notice,
                  const OpenOptions& options) {
    if (!notice.empty() && options.onRepair) options.onRepair(notice);
    return MakeResult(info, repaired);
}

}  // namespace

SongFile::SongFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SongFile::SongFile(SongFile&&) noexcept = default;
SongFile& SongFile::operator=(SongFile&&) noexcept = default;
SongFile::~SongFile() = default;

SongFile SongFile::open(const std::string& path, const OpenOptions& options) {
    auto impl = std::make_unique<Impl>();
    impl->name = path;
    bool repaired = false;
    std::string notice;
    if (options.repair) {
        impl->song = LoadSongWithRepair(path.c_str(), impl->info, &repaired,
                                        ToLoadOptions(options), RepairCopy::kMemory, &notice);
    } else {
        impl->song = LoadSongFile(path.c_str(), impl->info, nullptr, ToLoadOptions(options));
    }
    impl->result = Finish(impl->info, repaired, notice, options);
    return SongFile(std::move(impl));
}

SongFile SongFile::fromBytes(const void* data, std::size_t size, const OpenOptions& options) {
    auto impl = std::make_unique<Impl>();
    const auto* bytes = static_cast<const uint8_t*>(data);
    bool repaired = false;
    std::string notice;
    if (options.repair) {
        impl->song = LoadBytesWithRepair(bytes, size, "(memory)", impl->info, &repaired,
                                         ToLoadOptions(options), &notice);
    } else {
        ByteView view(bytes, size);
        impl->song = LoadSongFromSource(view, impl->info, nullptr, ToLoadOptions(options));
    }
    impl->result = Finish(impl->info, repaired, notice, options);
    return SongFile(std::move(impl));
}

SongFile::operator bool() const {
    return impl_ && impl_->song != nullptr;
}

const LoadResult& SongFile::result() const {
    static const LoadResult kMovedFrom;  // what a moved-from SongFile tells
    return impl_ ? impl_->result : kMovedFrom;
}

std::string SongFile::text(TextField field) const {
    if (!*this) return {};
    const scq::Song& s = *impl_->song;
    switch (field) {
        case TextField::Title:
            return Utf8(s.title);
        case TextField::Author:
            return Utf8(s.author);
        case TextField::Copyright1:
            return Utf8(s.copyright1);
        case TextField::Copyright2:
            return Utf8(s.copyright2);
        case TextField::Comments:
            return Utf8(s.comments);
    }
    return {};
}

std::string SongFile::rawText(TextField field) const {
    if (!*this) return {};
    const scq::Song& s = *impl_->song;
    switch (field) {
        case TextField::Title:
            return Raw(s.title);
        case TextField::Author:
            return Raw(s.author);
        case TextField::Copyright1:
            return Raw(s.copyright1);
        case TextField::Copyright2:
            return Raw(s.copyright2);
        case TextField::Comments:
            return Raw(s.comments);
    }
    return {};
}

int SongFile::staffCount() const {
    return *this ? impl_->song->staffCount() : 0;
}

StaffView SongFile::staff(int index) const {
    return StaffView(impl_->song->staffAt(index));
}

PlayTime SongFile::playTimes() {
    PlayTime times;
    if (!*this) return times;
    const scq::PlayTimes both = BothPlayTimes(*impl_->song);
    times.scqMilliseconds = both.scqMilliseconds;
    times.smfMilliseconds = both.smfMilliseconds;
    return times;
}

std::vector<Event> SongFile::events(Rendering rendering) {
    std::vector<Event> events;
    if (!*this) return events;
    EventSequence sequence(16);
    RenderForPlayTime(*impl_->song,
                      rendering == Rendering::Smf ? PlayTimeVariant::Smf : PlayTimeVariant::Scq,
                      sequence);
    sequence.forEach([&events](const SequenceEvent& e) {
        events.push_back(Event{e.time, static_cast<int>(e.kind()), e.byteA, e.byteB, e.byteC,
                               static_cast<int>(e.device())});
    });
    return events;
}

MidiResult SongFile::toMidi(std::vector<std::uint8_t>& out) {
    out.clear();
    MidiResult result;
    if (!*this) return result;
    const MidiWriteResult written = WriteMidi(*impl_->song, out);
    result.written = written.written();
    result.tracks = written.tracks;
    result.full = written.full;
    return result;
}

MidiResult SongFile::toMidi(std::ostream& out) {
    std::vector<std::uint8_t> bytes;
    const MidiResult result = toMidi(bytes);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return result;
}

bool SongFile::toMusicXml(std::string& out, const XmlExportOptions& options) {
    out.clear();
    if (!*this) return false;
    scq::MusicXmlOptions xml;
    xml.encodingDate = options.encodingDate;
    WriteMusicXml(*impl_->song, out, xml);
    return true;
}

bool SongFile::toMusicXml(std::vector<std::uint8_t>& out, const XmlExportOptions& options) {
    std::string text;
    const bool written = toMusicXml(text, options);
    out.assign(text.begin(), text.end());
    return written;
}

bool SongFile::toMusicXml(std::ostream& out, const XmlExportOptions& options) {
    if (!*this) return false;
    scq::MusicXmlOptions xml;
    xml.encodingDate = options.encodingDate;
    const MusicXmlSink sink = [&out](std::string_view piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        return static_cast<bool>(out);
    };
    return WriteMusicXml(*impl_->song, sink, xml).written;
}

std::string SongFile::json(bool performance, bool events) {
    std::string text;
    if (!impl_) return text;
    {
        json::BlockWriter out(&text);
        json::DocumentOptions options;
        options.performance = performance;
        options.events = events;
        json::WriteDocument(out, impl_->name.c_str(), impl_->info, impl_->result.repaired,
                            impl_->song.get(), options);
    }
    return text;
}

}  // namespace scq
