#include <cstring>

#include "song/SongFile.h"
#include "stream/SongInputStream.h"

namespace scq {

namespace {

constexpr char kMagicInkwork[] = "[Staveforge Inkwork]";    // matched exactly
constexpr char kMagicSoftware[] = "[Staveforge Software]";  // matched in any letter case
constexpr char kProductShort[] = "Staveforge";
constexpr char kProductFull[] = "Staveforge Engraver";
constexpr size_t kMinProductString = 3;
constexpr size_t kMaxProductString = 30;

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (AsciiLower(*a) != AsciiLower(*b)) return false;
    }
    return *a == *b;
}

}  // namespace

bool ReadSongHeader(SongInputStream& s, SongFileInfo& info) {
    info.clear();
    info.status = kLoadNotSong;

    LoadFailure& failure = info.error;
    char text[128];
    s.ReadString(text, sizeof text);
    if (s.HasError() ||
        (std::strcmp(text, kMagicInkwork) != 0 && !EqualsIgnoringCase(text, kMagicSoftware))) {
        failure.note(0, "not a song file (no song header)");
        return false;
    }

    if (s.ReadInt16() > 0) {
        info.status = kLoadBadLeadingWord;
        failure.note(s.Tell() - 2, "header: the word after the magic text is not 0");
        return false;
    }

    const int64_t productAt = s.Tell();
    s.ReadString(text, sizeof text);
    const size_t length = std::strlen(text);
    if (s.ReachedEnd()) failure.note(s.Tell(), "file ended inside the header");
    if (length > kMaxProductString || length < kMinProductString || text[0] != '[' ||
        text[length - 1] != ']') {
        failure.note(productAt, "header: product name is malformed");
        return false;
    }
    // The text between the brackets (at most 28 characters, so it always fits).
    const size_t nameLength = length - 2;
    std::memcpy(info.productName, text + 1, nameLength);
    info.productName[nameLength] = 0;

    info.productVersion = s.ReadInt16();
    info.secondHeaderWord = s.ReadInt16();
    s.ReadInt16();                    // not used
    s.ReadString(text, sizeof text);  // not used
    char shortText[32];
    s.ReadString(shortText, sizeof shortText);  // not used
    for (int i = 0; i < 4; ++i) s.ReadInt16();  // not used; files hold 0

    if (s.ReachedEnd()) failure.note(s.Tell(), "file ended inside the header");
    if (std::strcmp(info.productName, kProductShort) != 0 &&
        std::strcmp(info.productName, kProductFull) != 0) {
        info.status = kLoadUnknownProduct;
        failure.note(productAt, "header: product name is not accepted");
        return false;
    }

    info.formatRevision = s.ReadInt16();
    if (s.ReachedEnd()) failure.note(s.Tell(), "file ended inside the header");
    if (info.formatRevision > kNewestRevision) {
        info.status = kLoadNewerRevision;
        failure.note(s.Tell() - 2, "format revision %d is newer than this program reads (%d)",
                     info.formatRevision, kNewestRevision);
        return false;
    }
    info.status = info.formatRevision == kNewestRevision ? kLoadNewest : kLoadOlder;
    return true;
}

}  // namespace scq
