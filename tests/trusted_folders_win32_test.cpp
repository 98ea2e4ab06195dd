// The working folder, where users keep their POF files, never supplies the client library or
// the programmer: a planted linkhub_client.dll or vantor_pgm.exe there is not used, nor through
// a relative or working-folder entry of PATH.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/bench_fixture.h"

namespace {

namespace fs = std::filesystem;

class TrustedFolders : public BenchTest {
  protected:
    // PATH with a relative entry and the working folder in front of the system's.
    std::string planted_path() const {
        const char* system = std::getenv("PATH");
        return std::string(".;") + work_ + ";" + (system != nullptr ? system : "");
    }

    // Copies the build's file name into the working folder.
    void plant(const std::string& name) {
        fs::copy_file(fs::absolute(CW_BIN_DIR) / name, fs::path(work_) / name,
                      fs::copy_options::overwrite_existing);
    }
};

TEST_F(TrustedFolders, LibraryInTheWorkingFolderIsNotLoaded) {
    RomImage rom = cable_rom(3, 2, "101-0042", true);
    add_cable("USB-1", &rom);
    plant("linkhub_client.dll");
    // cablewright alone in a folder, without the library beside it.
    fs::path bare = fs::path(root_) / "bare";
    fs::create_directories(bare);
    fs::copy_file(fs::absolute(CW_BIN_DIR) / "cablewright.exe", bare / "cablewright.exe");
    ChildSpec child = cablewright_child({"-c", "USB-1"});
    child.program = (bare / "cablewright.exe").string();
    child.env = {{"LINKHUB_BENCH", bench_}, {"PATH", planted_path()}};
    ChildRun r = run(child);
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, console("Unable to load linkhub_client.dll\n"));

    // The command line's own answers never need the library.
    child.args = {"-c"};
    r = run(child);
    EXPECT_EQ(r.status, 16);
    EXPECT_EQ(r.err.find("linkhub_client"), std::string::npos) << r.err;
}

TEST_F(TrustedFolders, ProgrammerInTheWorkingFolderIsNotStarted) {
    RomImage rom = cable_rom(3, 2, "101-0042", true);
    RomImage file = cable_rom(4, 2, "101-####", true);
    int id = add_cable("USB-1", &rom);
    plant("vantor_pgm.exe");
    ChildSpec child = cablewright_child({"-c", "USB-1", write_pof("new.pof", file)},
                                        /*programmer_on_path=*/false);
    for (auto& [key, value] : child.env) {
        if (key == "PATH") {
            value = planted_path();
        }
    }
    ChildRun r = run(child);
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err, console("Reprogramming cable USB-1\n" + cable_line(rom) + pof_line(file) +
                             "vantor_pgm -c \"USB-1\" -m jtag -o \"p;cablewright.tmp.pof\"\n"
                             "Unable to start the programmer\n"));
    CableRecord after = cable(id);
    EXPECT_FALSE(after.select_mode);
    EXPECT_EQ(after.rom, rom);
    EXPECT_FALSE(temp_file_left());
}

}  // namespace
