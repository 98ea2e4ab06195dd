#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace {

std::filesystem::path& private_folder() {
    static std::filesystem::path folder;
    return folder;
}

void remove_private_folder() {
    std::error_code ec;
    // Windows cannot remove the working directory, so step out of it first.
    std::filesystem::current_path(private_folder().parent_path(), ec);
    std::filesystem::remove_all(private_folder(), ec);
}

// libFuzzer options whose value is a path.
constexpr const char* kPathOptions[] = {
    "-artifact_prefix=",    "-exact_artifact_path=", "-dict=",
    "-features_dir=",       "-merge_control_file=",  "-data_flow_trace=",
    "-mutation_graph_file="};

bool starts_with(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.string();
}

// libFuzzer reads its arguments only after LLVMFuzzerInitialize, so they can still be rewritten
// to survive the change of working directory.
void make_arguments_absolute(int* argc, char*** argv) {
    static std::vector<std::string> words;
    static std::vector<char*> pointers;
    bool artifacts_placed = false;
    words.push_back((*argv)[0]);
    for (int i = 1; i < *argc; ++i) {
        std::string word = (*argv)[i];
        if (!starts_with(word, "-")) {
            word = absolute(word);
        } else {
            for (const char* option : kPathOptions) {
                std::size_t n = std::strlen(option);
                if (starts_with(word, option) && word.size() > n) {
                    // A trailing separator matters: the prefix "out/" names a folder.
                    word = option + absolute(word.substr(n));
                }
            }
            artifacts_placed = artifacts_placed || starts_with(word, "-artifact_prefix=") ||
                               starts_with(word, "-exact_artifact_path=");
        }
        words.push_back(word);
    }
    if (!artifacts_placed) {
        std::error_code ec;
        std::filesystem::path here = std::filesystem::current_path(ec);
        if (!ec) {
            words.push_back("-artifact_prefix=" + (here / "").string());
        }
    }
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    *argc = static_cast<int>(words.size());
    *argv = pointers.data();
}

}  // namespace

bool enter_private_folder(int* argc, char*** argv) {
    make_arguments_absolute(argc, argv);
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        return false;
    }
    // Several fuzzers may run side by side: a random name, and create_directory refuses to
    // reuse an existing one.
    std::random_device seed;
    std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^
                           static_cast<std::uint64_t>(seed()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path folder =
            base / ("cablewright-fuzz-" + std::to_string(random() % 1000000000000ULL));
        if (std::filesystem::create_directory(folder, ec) && !ec) {
            std::filesystem::current_path(folder, ec);
            if (ec) {
                std::filesystem::remove(folder, ec);
                return false;
            }
            private_folder() = folder;
            std::atexit(remove_private_folder);
            return true;
        }
    }
    return false;
}
