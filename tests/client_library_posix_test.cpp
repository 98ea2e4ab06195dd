// The client library is loaded only when a run needs a cable, and only from trusted folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/bench_fixture.h"

namespace fs = std::filesystem;

namespace {

class ClientLibrary : public BenchTest {
  protected:
    // A copy of cablewright in a folder of its own, without the library beside it, run in the
    // working folder, which holds a working copy of the library and a folder "lib" with another.
    ChildRun run_alone(const std::vector<std::string>& args, const std::string& library_path) {
        const fs::path bin = fs::path(CW_BIN_DIR);
        const fs::path alone = fs::path(root_) / "alone";
        fs::create_directories(alone);
        fs::create_directories(fs::path(work_) / "lib");
        const fs::path library = bin / "liblinkhub_client.so";
        fs::copy_file(bin / "cablewright", alone / "cablewright", fs::copy_options::skip_existing);
        fs::copy_file(library, fs::path(work_) / library.filename(),
                      fs::copy_options::skip_existing);
        fs::copy_file(library, fs::path(work_) / "lib" / library.filename(),
                      fs::copy_options::skip_existing);
        ChildSpec child = cablewright_child(args);
        child.program = (alone / "cablewright").string();
        child.env.push_back({"LD_LIBRARY_PATH", library_path});
        return run(child);
    }
};

TEST_F(ClientLibrary, LoadedOnlyFromTrustedFoldersAndOnlyWhenNeeded) {
    add_cable("USB-1", nullptr);
    const std::string unusable = (fs::path(root_) / "not-a-library").string();
    fs::create_directories(unusable);
    std::ofstream(fs::path(unusable) / "liblinkhub_client.so") << "not a library\n";
    const std::string failed = "Unable to load liblinkhub_client.so\n";
    struct Case {
        std::vector<std::string> args;
        std::string library_path;
        int status;
        std::string err;
    };
    const Case cases[] = {
        // Neither needs a cable, so neither needs the library.
        {{"--help"}, "", 0, ""},
        {{"--version"}, "", 0, ""},
        // The working folder, relative and empty entries are never tried.
        {{"-c", "USB-1"}, "", 8, failed},
        {{"-c", "USB-1", "--log", "history.jsonl"}, ".:lib::", 8, failed},
        {{"--list", "--json"}, unusable, 8, failed},
        {{"-c", "USB-1", "--json"}, ".:" + unusable, 8, failed},
        // An absolute entry is a trusted folder.
        {{"-c", "USB-1"},
         "lib:" + std::string(CW_BIN_DIR),
         0,
         "Reprogramming cable USB-1\nCable ROM is blank\nFinished\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " with LD_LIBRARY_PATH=" + c.library_path);
        ChildRun r = run_alone(c.args, c.library_path);
        EXPECT_EQ(c.status, r.status);
        EXPECT_EQ(c.err, r.err);
        if (c.status == 8) {
            // Nothing else: no JSON document, no dump, no history.
            EXPECT_EQ("", r.out);
            EXPECT_FALSE(fs::exists(fs::path(work_) / "history.jsonl"));
        } else {
            EXPECT_NE("", r.out);
        }
    }
}

}  // namespace
