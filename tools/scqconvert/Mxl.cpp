#include "Mxl.h"

#ifdef SCQ_HAVE_LIBZIP
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "export/MusicXmlWriter.h"
#endif

namespace scq::convert {

#ifdef SCQ_HAVE_LIBZIP

bool CanWriteMxl() { return true; }

namespace {

constexpr std::string_view kMimeType = "application/vnd.recordare.musicxml";
constexpr std::string_view kContainer =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<container>\n"
    "  <rootfiles>\n"
    "    <rootfile full-path=\"score.musicxml\" "
    "media-type=\"application/vnd.recordare.musicxml+xml\"/>\n"
    "  </rootfiles>\n"
    "</container>\n";

struct SourceFree {
    void operator()(zip_source_t* s) const { zip_source_free(s); }
};
struct ArchiveDiscard {
    void operator()(zip_t* z) const { zip_discard(z); }
};

std::string ErrorText(zip_error_t* error) {
    std::string text = zip_error_strerror(error);
    zip_error_fini(error);
    return text;
}

// Adds a file to the archive from `source`, which the archive then owns; false when libzip
// refuses (the source is freed). Deflated at the fastest level: a score's markup compresses
// about tenfold even so, and a score of a hundred megabytes takes a second instead of five.
bool Add(zip_t* archive, const char* name, zip_source_t* source, bool store) {
    if (!source) return false;
    const zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    return zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                    store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 1) == 0;
}

// A file from memory that outlives the archive's closing.
bool Add(zip_t* archive, const char* name, std::string_view data, bool store) {
    return Add(archive, name, zip_source_buffer(archive, data.data(), data.size(), 0), store);
}

struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The score, written into an unnamed temporary file and rewound; null with the reason in
// `error` when it cannot be.
std::unique_ptr<std::FILE, FileClose> ScoreFile(Song& song, std::string& error) {
    std::unique_ptr<std::FILE, FileClose> file(std::tmpfile());
    if (!file) {
        error = std::string("cannot make a temporary file: ") + std::strerror(errno);
        return nullptr;
    }
    std::FILE* f = file.get();
    const bool written = WriteMusicXml(song, [f](std::string_view piece) {
                             return std::fwrite(piece.data(), 1, piece.size(), f) == piece.size();
                         }).written;
    if (!written || std::fflush(f) != 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        error = std::string("cannot write a temporary file: ") + std::strerror(errno);
        return nullptr;
    }
    return file;
}

}  // namespace

bool PackScore(Song& song, std::vector<uint8_t>& out, std::string& error) {
    std::unique_ptr<std::FILE, FileClose> score = ScoreFile(song, error);
    if (!score) return false;
    zip_error_t zerror;
    zip_error_init(&zerror);
    std::unique_ptr<zip_source_t, SourceFree> buffer(zip_source_buffer_create(nullptr, 0, 0, &zerror));
    if (!buffer) {
        error = ErrorText(&zerror);
        return false;
    }
    // The archive takes a reference to the buffer; the buffer's bytes are read after closing.
    zip_source_keep(buffer.get());
    std::unique_ptr<zip_t, ArchiveDiscard> archive(
        zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &zerror));
    if (!archive) {
        zip_source_free(buffer.get());  // the reference the archive did not take
        error = ErrorText(&zerror);
        return false;
    }
    std::unique_ptr<zip_source_t, SourceFree> scoreSource(
        zip_source_filep(archive.get(), score.get(), 0, -1));
    if (scoreSource) score.release();  // the source closes it
    if (!Add(archive.get(), "mimetype", kMimeType, true) ||
        !Add(archive.get(), "META-INF/container.xml", kContainer, false) ||
        !Add(archive.get(), "score.musicxml", scoreSource.release(), false)) {
        error = zip_strerror(archive.get());
        return false;
    }
    if (zip_close(archive.get()) != 0) {
        error = zip_strerror(archive.get());
        return false;
    }
    archive.release();  // closed and freed

    zip_stat_t st;
    if (zip_source_stat(buffer.get(), &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
        zip_source_open(buffer.get()) != 0) {
        error = zip_error_strerror(zip_source_error(buffer.get()));
        return false;
    }
    out.resize(static_cast<size_t>(st.size));
    const zip_int64_t read = zip_source_read(buffer.get(), out.data(), st.size);
    zip_source_close(buffer.get());
    if (read < 0 || static_cast<zip_uint64_t>(read) != st.size) {
        error = "cannot read the archive back from memory";
        return false;
    }
    return true;
}

#else

bool CanWriteMxl() { return false; }

bool PackScore(Song&, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    error = "this scqconvert was built without libzip (Debian: libzip-dev)";
    return false;
}

#endif

}  // namespace scq::convert
