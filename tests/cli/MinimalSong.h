#pragma once

// Hand-built song files with no staff records: a header, the song information block and a
// staff count. Enough for the loader, the header checks and the front end.

#include <cstdint>
#include <string>

#include "stream/CompressedSongStream.h"
#include "stream/MemoryStream.h"

namespace scq::testing {

struct HeaderSpec {
    std::string magic = "[Staveforge Inkwork]";
    int leadingWord = 0;
    std::string product = "[Staveforge Engraver]";
    int productVersion = 331;
    int secondWord = 2;
    int revision = 16;
};

struct InfoSpec {
    std::string title = "A Title";
    std::string author = "An Author";
    std::string copyright1 = "Copyright One";
    std::string copyright2 = "Copyright Two";
    std::string comments;
    int firstBarNumber = 1;
    std::string margins = "0.50000000 0.50000000 0.50000000 0.50000000";
    std::string fontName = "Times New Roman";  // every entry
    int fontSize = 12;                         // every entry
    int pageOptionWord2 = 0;
};

inline void PutWord(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

inline void PutText(std::string& out, const std::string& text) {
    out += text;
    out += '\0';
}

inline std::string HeaderBytes(const HeaderSpec& h = {}) {
    std::string out;
    PutText(out, h.magic);
    PutWord(out, h.leadingWord);
    PutText(out, h.product);
    PutWord(out, h.productVersion);
    PutWord(out, h.secondWord);
    PutWord(out, 0);
    PutText(out, "");
    PutText(out, "");
    for (int i = 0; i < 4; ++i) PutWord(out, 0);
    PutWord(out, h.revision);
    return out;
}

// The song information block in the layout of the given revision.
inline std::string InfoBytes(const InfoSpec& info = {}, int revision = 16) {
    std::string out;
    PutText(out, info.title);
    PutText(out, info.author);
    PutText(out, info.copyright1);
    PutText(out, info.copyright2);
    PutText(out, info.comments);
    PutText(out, "YY_");
    PutText(out, "F2");
    if (revision >= 4) {
        PutWord(out, 0);
        PutWord(out, info.firstBarNumber);
    }
    if (revision < 6) return out;
    PutText(out, info.margins);
    out += '\0';      // page option byte 1
    PutWord(out, 8);  // page option word 1
    if (revision >= 8) {
        out += '\x01';  // staff selection: staff 0
        out += std::string(31, '\0');
        out += '\0';  // layering
    }
    if (revision >= 7) {
        PutWord(out, 16);
        const int entries = revision >= 15 ? 12 : 10;
        for (int i = 0; i < entries; ++i) {
            PutText(out, info.fontName);
            out += '\0';  // style
            PutWord(out, info.fontSize);
            out += '\0';  // charset
        }
    } else {
        PutWord(out, 10);  // old base size word
    }
    out += '\x01';  // song option 4
    out += '\0';    // page option byte 2
    PutWord(out, info.pageOptionWord2);
    return out;
}

// A whole song file with no staff records.
inline std::string SongBytes(const HeaderSpec& h = {}, const InfoSpec& info = {}) {
    std::string out = HeaderBytes(h) + InfoBytes(info, h.revision);
    PutWord(out, 0);  // staff count
    return out;
}

// The compressed container around the given bytes.
inline std::string Compress(const std::string& plain) {
    MemoryStream target;
    {
        CompressedSongWriter writer(target);
        writer.WriteBlock(plain.data(), plain.size());
    }
    auto bytes = target.Contents();
    return std::string(bytes.begin(), bytes.end());
}

// What a text-mode transfer does to a file: every line feed becomes carriage return, line feed.
inline std::string ToCrLf(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// A song that a text-mode transfer damages so that its first load fails with status 7: the
// line feed is in the first bar number (10), every text after it is empty, so the transfer
// shifts the fields by one byte and the staff count then reads the high byte of the last page
// option word (256) as a staff that is not there. Its texts may hold line feeds of their own.
inline std::string DamageableSongBytes(const InfoSpec& texts = {}) {
    InfoSpec info = texts;
    info.firstBarNumber = 10;
    info.margins.clear();
    info.fontName.clear();
    info.fontSize = 12;
    info.pageOptionWord2 = 256;
    return SongBytes({}, info);
}

}  // namespace scq::testing
