#include "Batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace scq::dump {

namespace {

using Clock = std::chrono::steady_clock;

bool EndsWithScq(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return tail == ".scq";
}

std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

// The progress line: files done, of how many, files per second, time left. On a terminal it is
// one line rewritten in place about four times a second; elsewhere a new line each second.
class Progress {
public:
    Progress(bool enabled, size_t total, std::FILE* err)
        : enabled_(enabled), total_(total), err_(err), terminal_(::isatty(::fileno(err)) == 1) {}

    void update(size_t done, bool force = false) {
        if (!enabled_) return;
        const Clock::time_point now = Clock::now();
        const auto every = terminal_ ? std::chrono::milliseconds(250) : std::chrono::seconds(1);
        if (!force && now - last_ < every) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        std::string line = "scqdump: " + std::to_string(done) + "/" + std::to_string(total_) +
                           " files";
        char figures[64];
        std::snprintf(figures, sizeof figures, ", %.0f files/s", rate);
        line += figures;
        if (rate > 0 && done < total_) {
            line += ", " + Duration(static_cast<double>(total_ - done) / rate) + " left";
        }
        if (terminal_) {
            std::fprintf(err_, "\r%s\033[K", line.c_str());
            shown_ = true;
        } else {
            std::fprintf(err_, "%s\n", line.c_str());
        }
        std::fflush(err_);
    }
    // Takes the line off a terminal before other text goes to standard error.
    void clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", err_);
        shown_ = false;
    }
    void finish(size_t done) {
        if (!enabled_) return;
        if (terminal_) {
            clear();
            std::fflush(err_);
        } else {
            update(done, true);
        }
    }

private:
    bool enabled_;
    size_t total_;
    std::FILE* err_;
    bool terminal_;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = Clock::now();
};

FileOutput DumpOne(const std::string& name, const Options& options) {
    try {
        return DumpToText(name.c_str(), options);
    } catch (const std::bad_alloc&) {
        // Memory ran out while the loaded song was written: the file fails, the run goes on.
        FileOutput failed;
        failed.err = "scqdump: " + name + ": out of memory\n";
        return failed;
    }
}

void Emit(const FileOutput& result, Progress& progress, std::FILE* out, std::FILE* err) {
    std::fwrite(result.out.data(), 1, result.out.size(), out);
    if (!result.err.empty()) {
        std::fflush(out);
        progress.clear();
        std::fputs(result.err.c_str(), err);
        std::fflush(err);
    }
}

}  // namespace

bool ReadNameList(std::FILE* in, bool nul, std::vector<std::string>& names) {
    const int separator = nul ? 0 : '\n';
    std::string name;
    for (int c = std::getc(in); c != EOF; c = std::getc(in)) {
        if (c == separator) {
            if (!name.empty()) names.push_back(name);
            name.clear();
        } else {
            name.push_back(static_cast<char>(c));
        }
    }
    if (!name.empty()) names.push_back(name);
    return !std::ferror(in);
}

std::vector<std::string> ExpandFolders(const std::vector<std::string>& names, bool recursive,
                                       std::FILE* err, bool* complete) {
    namespace fs = std::filesystem;
    std::vector<std::string> result;
    if (complete) *complete = true;
    for (const std::string& name : names) {
        std::error_code ec;
        // A folder given by name, or a link to one, is walked.
        if (!recursive || !fs::is_directory(fs::status(name, ec))) {
            result.push_back(name);
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(name, fs::directory_options::none, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const fs::directory_entry& entry = *it;
            std::error_code typeError;
            if (EndsWithScq(entry.path().filename().string()) &&
                !entry.is_directory(typeError)) {
                found.push_back(entry.path().string());
            }
        }
        if (ec) {
            std::fprintf(err, "scqdump: %s: %s\n", name.c_str(), ec.message().c_str());
            if (complete) *complete = false;
        }
        std::sort(found.begin(), found.end());
        result.insert(result.end(), found.begin(), found.end());
    }
    return result;
}

bool RunBatch(const std::vector<std::string>& names, const Options& options,
              const BatchOptions& batch, std::FILE* out, std::FILE* err) {
    Progress progress(batch.progress, names.size(), err);
    bool allLoaded = true;
    const size_t jobs = std::min<size_t>(std::max(batch.jobs, 1u), names.size());
    if (jobs <= 1) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (options.summary) {
                const FileOutput result = DumpOne(names[i], options);
                allLoaded = result.song && allLoaded;
                Emit(result, progress, out, err);
            } else {
                // A document can run to hundreds of megabytes: it streams out as it is written.
                progress.clear();
                try {
                    allLoaded = DumpFile(names[i].c_str(), options, out, err) && allLoaded;
                } catch (const std::bad_alloc&) {
                    std::fflush(out);
                    std::fprintf(err, "scqdump: %s: out of memory\n", names[i].c_str());
                    allLoaded = false;
                }
                std::fflush(out);
            }
            progress.update(i + 1);
        }
        progress.finish(names.size());
        return allLoaded;
    }

    // Workers take the next name; the main thread writes the results in order. Workers stay at
    // most `window` files ahead of the writer, so that memory holds a bounded number of outputs.
    const size_t window = jobs * 16;
    std::vector<std::optional<FileOutput>> results(names.size());
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::condition_variable ready;
    std::condition_variable written;
    size_t writtenCount = 0;

    auto work = [&]() {
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= names.size()) return;
            {
                std::unique_lock<std::mutex> lock(mutex);
                written.wait(lock, [&] { return i < writtenCount + window; });
            }
            FileOutput result = DumpOne(names[i], options);
            {
                std::lock_guard<std::mutex> lock(mutex);
                results[i] = std::move(result);
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(jobs);
    for (size_t t = 0; t < jobs; ++t) workers.emplace_back(work);

    for (size_t i = 0; i < names.size(); ++i) {
        FileOutput result;
        {
            std::unique_lock<std::mutex> lock(mutex);
            ready.wait(lock, [&] { return results[i].has_value(); });
            result = std::move(*results[i]);
            results[i].reset();
        }
        allLoaded = result.song && allLoaded;
        Emit(result, progress, out, err);
        {
            std::lock_guard<std::mutex> lock(mutex);
            writtenCount = i + 1;
        }
        written.notify_all();
        progress.update(i + 1);
    }
    for (std::thread& t : workers) t.join();
    progress.finish(names.size());
    return allLoaded;
}

}  // namespace scq::dump
