// The Python module `scq`: the public API for Python. Loading, rendering and exporting run with
// the GIL released, so that a thread pool loads files in parallel; each Song guards its own
// state with a lock, since a rendering audits the song it renders.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scq/scq.h"

namespace py = pybind11;

namespace {

PyObject* loadErrorType = nullptr;

scq::Rendering RenderingNamed(const std::string& name) {
    if (name == "scq") return scq::Rendering::Scq;
    if (name == "smf") return scq::Rendering::Smf;
    throw py::value_error("rendering must be \"scq\" or \"smf\", not \"" + name + "\"");
}

py::bytes Bytes(const std::vector<std::uint8_t>& v) {
    return py::bytes(reinterpret_cast<const char*>(v.data()), v.size());
}

py::object ParseJson(const std::string& text) {
    return py::module_::import("json").attr("loads")(py::str(text));
}

// A loaded song, with its play times worked out once.
class PySong {
public:
    explicit PySong(scq::SongFile song, std::string notice)
        : song_(std::move(song)), notice_(std::move(notice)) {}

    const scq::LoadResult& result() const { return song_.result(); }
    const std::string& notice() const { return notice_; }
    std::string text(scq::TextField field) const { return song_.text(field); }
    py::dict rawTexts() const {
        py::dict d;
        const std::pair<const char*, scq::TextField> fields[] = {
            {"title", scq::TextField::Title},           {"author", scq::TextField::Author},
            {"copyright1", scq::TextField::Copyright1}, {"copyright2", scq::TextField::Copyright2},
            {"comments", scq::TextField::Comments}};
        for (const auto& [name, field] : fields) d[name] = py::bytes(song_.rawText(field));
        return d;
    }
    py::list staffs() const {
        py::list list;
        for (int i = 0; i < song_.staffCount(); ++i) list.append(ParseJson(song_.staff(i).json()));
        return list;
    }
    int staffCount() const { return song_.staffCount(); }

    py::tuple playTime(const std::string& rendering) {
        const scq::Rendering which = RenderingNamed(rendering);
        scq::PlayTime times;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            if (!times_) times_ = song_.playTimes();
            times = *times_;
        }
        if (which == scq::Rendering::Scq) return py::make_tuple(times.scqSeconds(), times.scqMilliseconds);
        return py::make_tuple(times.smfSeconds(), times.smfMilliseconds);
    }

    py::list events(const std::string& rendering) {
        const scq::Rendering which = RenderingNamed(rendering);
        std::vector<scq::Event> events;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            events = song_.events(which);
        }
        py::list list(events.size());
        for (size_t i = 0; i < events.size(); ++i) {
            const scq::Event& e = events[i];
            list[i] = py::make_tuple(e.time, e.kind, e.a, e.b, e.c, e.device);
        }
        return list;
    }

    py::bytes toMidi() {
        std::vector<std::uint8_t> out;
        scq::MidiResult result;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            result = song_.toMidi(out);
        }
        if (!result.written) throw py::value_error("the song has more staffs than a MIDI file has tracks");
        return Bytes(out);
    }

    py::bytes toMusicXml(const std::string& date) {
        std::string out;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            scq::XmlExportOptions options;
            options.encodingDate = date;
            song_.toMusicXml(out, options);
        }
        return py::bytes(out);
    }

    py::object toJson(bool performance, bool events) {
        std::string text;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            text = song_.json(performance, events);
        }
        return ParseJson(text);
    }

private:
    scq::SongFile song_;
    std::string notice_;
    std::mutex mutex_;
    std::optional<scq::PlayTime> times_;
};

[[noreturn]] void RaiseLoadError(const scq::LoadResult& r, const std::string& name) {
    std::string message = name.empty() ? r.outcome : name + ": " + r.outcome;
    if (!r.reason.empty() && r.reason != "failed") message += ": " + r.reason;
    py::object error = py::reinterpret_borrow<py::object>(loadErrorType)(message);
    error.attr("outcome") = r.outcome;
    error.attr("status") = r.status;
    error.attr("reason") = r.reason;
    error.attr("offset") = r.offset >= 0 ? py::object(py::int_(r.offset)) : py::object(py::none());
    PyErr_SetObject(loadErrorType, error.ptr());
    throw py::error_already_set();
}

std::unique_ptr<PySong> Load(const py::object& source, bool repair) {
    scq::OpenOptions options;
    options.repair = repair;
    std::string notice;
    options.onRepair = [&notice](const std::string& text) { notice += text; };
    std::optional<scq::SongFile> song;
    std::string name;
    if (py::isinstance<py::bytes>(source) || py::isinstance<py::bytearray>(source) ||
        py::isinstance<py::memoryview>(source)) {
        // A copy, so that the bytes stay put while the GIL is released.
        const std::string bytes =
            py::module_::import("builtins").attr("bytes")(source).cast<std::string>();
        py::gil_scoped_release release;
        song.emplace(scq::SongFile::fromBytes(bytes.data(), bytes.size(), options));
    } else {
        name = py::str(py::module_::import("os").attr("fsdecode")(source));
        const std::string path = py::module_::import("os").attr("fsencode")(source).cast<std::string>();
        py::gil_scoped_release release;
        song.emplace(scq::SongFile::open(path, options));
    }
    if (!*song) RaiseLoadError(song->result(), name);
    return std::make_unique<PySong>(std::move(*song), std::move(notice));
}

}  // namespace

PYBIND11_MODULE(scq, m) {
    m.doc() = "Reads Staveforge Engraver song files: texts, staffs and items, play times, "
              "events, MIDI and MusicXML exports.";
    m.attr("__version__") = scq::Version();

    loadErrorType = PyErr_NewExceptionWithDoc(
        "scq.LoadError",
        "A song file could not be loaded: outcome (one word, as scqdump gives it), status (the "
        "loader's), reason (plain words) and offset (in the song data, or None).",
        PyExc_Exception, nullptr);
    m.attr("LoadError") = py::handle(loadErrorType);

    py::class_<PySong>(m, "Song", "A loaded song. Made by scq.load().")
        .def_property_readonly("title", [](const PySong& s) { return s.text(scq::TextField::Title); })
        .def_property_readonly("author", [](const PySong& s) { return s.text(scq::TextField::Author); })
        .def_property_readonly("copyright1",
                               [](const PySong& s) { return s.text(scq::TextField::Copyright1); })
        .def_property_readonly("copyright2",
                               [](const PySong& s) { return s.text(scq::TextField::Copyright2); })
        .def_property_readonly("comments", [](const PySong& s) { return s.text(scq::TextField::Comments); })
        .def_property_readonly("raw_texts", &PySong::rawTexts)
        .def_property_readonly("format_revision",
                               [](const PySong& s) { return s.result().formatRevision; })
        .def_property_readonly("product_version",
                               [](const PySong& s) { return s.result().productVersion; })
        .def_property_readonly("product_name", [](const PySong& s) { return s.result().productName; })
        .def_property_readonly("outcome", [](const PySong& s) { return s.result().outcome; })
        .def_property_readonly("status", [](const PySong& s) { return s.result().status; })
        .def_property_readonly("repaired", [](const PySong& s) { return s.result().repaired; })
        .def_property_readonly("repair_notice", &PySong::notice)
        .def_property_readonly("damaged", [](const PySong& s) { return s.result().failed; })
        .def_property_readonly("reason", [](const PySong& s) { return s.result().reason; })
        .def_property_readonly("offset",
                               [](const PySong& s) -> py::object {
                                   const auto offset = s.result().offset;
                                   return offset >= 0 ? py::object(py::int_(offset)) : py::none();
                               })
        .def_property_readonly("staff_count", &PySong::staffCount)
        .def_property_readonly("staffs", &PySong::staffs)
        .def("play_time", &PySong::playTime, py::arg("rendering") = "scq")
        .def("events", &PySong::events, py::arg("rendering") = "scq")
        .def("to_midi", &PySong::toMidi)
        .def("to_musicxml", &PySong::toMusicXml, py::arg("encoding_date") = "")
        .def("to_json", &PySong::toJson, py::arg("performance") = false, py::arg("events") = false);

    m.def("load", &Load, py::arg("source"), py::arg("repair") = true,
          "Loads a song from a path (str or os.PathLike) or from the bytes of a song "
          "file (bytes, bytearray, memoryview). Raises scq.LoadError when no song could be made; "
          "a damaged song loads with `damaged` set.");
}
