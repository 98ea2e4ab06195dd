#include "sim/bench.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "sim/bench_format.h"
#include "sim/file_lock.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSettingsFile[] = "settings.txt";
constexpr char kBenchLockFile[] = "bench.lock";
constexpr char kCablePrefix[] = "cable-";
constexpr char kCableSuffix[] = ".txt";
constexpr char kLockSuffix[] = ".lock";
constexpr int kIdDigits = 6;
// Updates hold bench.lock for a few milliseconds; waiting this long means a stuck holder.
constexpr auto kBenchLockWait = std::chrono::seconds(10);
constexpr auto kBenchLockPoll = std::chrono::milliseconds(2);
// Readers hold a bench file for well under a millisecond.
constexpr auto kReplaceWait = std::chrono::seconds(2);
constexpr auto kReplacePoll = std::chrono::milliseconds(1);

std::string join(const std::string& dir, const std::string& name) {
    return (fs::path(dir) / name).string();
}

std::string cable_stem(int id) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%0*d", kIdDigits, id);
    return kCablePrefix + std::string(digits);
}

std::string cable_path(const std::string& dir, int id) {
    return join(dir, cable_stem(id) + kCableSuffix);
}

// The id of a cable file name, or -1 for every other file (temporary files included).
int cable_id_of(const std::string& file_name) {
    std::size_t prefix = std::strlen(kCablePrefix);
    std::size_t suffix = std::strlen(kCableSuffix);
    if (file_name.size() != prefix + kIdDigits + suffix ||
        file_name.compare(0, prefix, kCablePrefix) != 0 ||
        file_name.compare(prefix + kIdDigits, suffix, kCableSuffix) != 0) {
        return -1;
    }
    int id = 0;
    for (std::size_t i = prefix; i < prefix + kIdDigits; ++i) {
        if (file_name[i] < '0' || file_name[i] > '9') {
            return -1;
        }
        id = id * 10 + (file_name[i] - '0');
    }
    return id;
}

LoadResult read_text(const std::string& path, std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        if (errno == ENOENT) {
            return LoadResult::kMissing;
        }
        std::fprintf(stderr, "bench: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return LoadResult::kFailed;
    }
    text.clear();
    char block[4096];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        text.append(block, n);
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        std::fprintf(stderr, "bench: cannot read %s\n", path.c_str());
        return LoadResult::kFailed;
    }
    return LoadResult::kLoaded;
}

// Drawn afresh each time: processes forked from one parent must not pick the same names.
std::string temp_suffix() {
    std::random_device random;
    char text[32];
    std::snprintf(text, sizeof text, ".tmp-%08x%08x", static_cast<unsigned>(random()),
                  static_cast<unsigned>(random()));
    return text;
}

// The new content goes to a fresh temporary file that then replaces path in one rename, so a
// reader sees the old file or the new one and a writer that dies leaves only a stray temporary.
bool write_text_atomically(const std::string& path, const std::string& text) {
    std::string temp = path + temp_suffix();
    std::FILE* f = std::fopen(temp.c_str(), "wbx");
    if (f == nullptr) {
        std::fprintf(stderr, "bench: cannot create %s: %s\n", temp.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    std::error_code error;
    if (ok) {
        // Windows refuses to replace a file another process has open, which a reader of the
        // bench does for a moment: try again until it has let go.
        auto deadline = std::chrono::steady_clock::now() + kReplaceWait;
        for (;;) {
            fs::rename(temp, path, error);
            if (error != std::errc::permission_denied ||
                std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(kReplacePoll);
        }
    }
    if (!ok || error) {
        std::fprintf(stderr, "bench: cannot write %s%s%s\n", path.c_str(), error ? ": " : "",
                     error ? error.message().c_str() : "");
        fs::remove(temp, error);
        return false;
    }
    return true;
}

bool lock_bench(const std::string& dir, FileLock& lock) {
    std::string path = join(dir, kBenchLockFile);
    auto deadline = std::chrono::steady_clock::now() + kBenchLockWait;
    for (;;) {
        switch (try_lock_file(path, lock)) {
            case LockAttempt::kAcquired:
                return true;
            case LockAttempt::kFailed:
                return false;
            case LockAttempt::kBusy:
                break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "bench: %s stays locked by another process\n", path.c_str());
            return false;
        }
        std::this_thread::sleep_for(kBenchLockPoll);
    }
}

}  // namespace

std::string bench_dir_from_environment() {
    const char* dir = std::getenv("LINKHUB_BENCH");
    return dir == nullptr ? std::string() : std::string(dir);
}

bool bench_exists(const std::string& dir) {
    std::error_code error;
    return !dir.empty() && fs::is_directory(dir, error);
}

bool create_bench(const std::string& dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir, error)) {
        std::fprintf(stderr, "bench: cannot create directory %s\n", dir.c_str());
        return false;
    }
    if (fs::exists(join(dir, kSettingsFile), error)) {
        return true;
    }
    return save_settings(dir, BenchSettings{});
}

std::vector<int> list_cables(const std::string& dir) {
    std::vector<int> ids;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        int id = cable_id_of(it->path().filename().string());
        if (id >= 0) {
            ids.push_back(id);
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

LoadResult load_cable(const std::string& dir, int id, CableRecord& record) {
    std::string path = cable_path(dir, id);
    std::string text;
    LoadResult result = read_text(path, text);
    if (result != LoadResult::kLoaded) {
        return result;
    }
    return parse_cable(text, path, record) ? LoadResult::kLoaded : LoadResult::kFailed;
}

LoadResult load_named_cable(const std::string& dir, const std::string& name, CableRecord& record,
                            int* id) {
    for (int candidate : list_cables(dir)) {
        CableRecord found;
        LoadResult result = load_cable(dir, candidate, found);
        if (result == LoadResult::kFailed) {
            return result;
        }
        if (result == LoadResult::kLoaded && found.name == name) {
            record = found;
            if (id != nullptr) {
                *id = candidate;
            }
            return LoadResult::kLoaded;
        }
    }
    return LoadResult::kMissing;
}

bool save_cable(const std::string& dir, int id, const CableRecord& record) {
    return write_text_atomically(cable_path(dir, id), format_cable(record));
}

bool add_cable(const std::string& dir, const CableRecord& record, int* id) {
    if (record.name.empty() || record.name.find('\0') != std::string::npos) {
        std::fprintf(stderr, "bench: a cable name must be non-empty text\n");
        return false;
    }
    FileLock lock;
    if (!lock_bench(dir, lock)) {
        return false;
    }
    CableRecord existing;
    LoadResult found = load_named_cable(dir, record.name, existing);
    bool ok = false;
    if (found == LoadResult::kLoaded) {
        std::fprintf(stderr, "bench: a cable named \"%s\" exists already\n",
                     escape_text(record.name).c_str());
    } else if (found == LoadResult::kMissing) {
        std::vector<int> ids = list_cables(dir);
        int new_id = ids.empty() ? 1 : ids.back() + 1;
        ok = save_cable(dir, new_id, record);
        if (ok && id != nullptr) {
            *id = new_id;
        }
    }
    unlock_file(lock);
    return ok;
}

bool remove_cable(const std::string& dir, const std::string& name) {
    FileLock lock;
    if (!lock_bench(dir, lock)) {
        return false;
    }
    CableRecord record;
    int id = -1;
    LoadResult found = load_named_cable(dir, name, record, &id);
    bool ok = false;
    if (found == LoadResult::kMissing) {
        std::fprintf(stderr, "bench: no cable named \"%s\"\n", escape_text(name).c_str());
    } else if (found == LoadResult::kLoaded) {
        std::error_code error;
        ok = fs::remove(cable_path(dir, id), error);
        if (!ok) {
            std::fprintf(stderr, "bench: cannot remove %s\n", cable_path(dir, id).c_str());
        }
        fs::remove(cable_lock_path(dir, id), error);
    }
    unlock_file(lock);
    return ok;
}

bool update_cable(const std::string& dir, int id, const std::function<void(CableRecord&)>& change) {
    FileLock lock;
    if (!lock_bench(dir, lock)) {
        return false;
    }
    CableRecord record;
    LoadResult result = load_cable(dir, id, record);
    if (result == LoadResult::kMissing) {
        std::fprintf(stderr, "bench: cable %d is gone\n", id);
    }
    bool ok = result == LoadResult::kLoaded;
    if (ok) {
        change(record);
        ok = save_cable(dir, id, record);
    }
    unlock_file(lock);
    return ok;
}

bool load_settings(const std::string& dir, BenchSettings& settings) {
    std::string path = join(dir, kSettingsFile);
    std::string text;
    switch (read_text(path, text)) {
        case LoadResult::kMissing:
            settings = BenchSettings{};
            return true;
        case LoadResult::kFailed:
            return false;
        case LoadResult::kLoaded:
            break;
    }
    return parse_settings(text, path, settings);
}

bool save_settings(const std::string& dir, const BenchSettings& settings) {
    return write_text_atomically(join(dir, kSettingsFile), format_settings(settings));
}

std::string cable_lock_path(const std::string& dir, int id) {
    return join(dir, cable_stem(id) + kLockSuffix);
}
