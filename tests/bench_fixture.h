// A temporary bench and working folder for end-to-end runs of the real binaries.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/rom_image.h"
#include "sim/bench.h"
#include "testing/child_process.h"
#include "testing/jumper_screens.h"

// A ROM image with the fields a cable of this family carries.
RomImage cable_rom(std::uint16_t version, std::uint16_t id, const std::string& serial,
                   bool signature, const std::string& product = "USB-KestrelII");

class BenchTest : public testing::Test {
  public:
    void SetUp() override;
    void TearDown() override;

    // Adds a cable; a null rom adds a blank one. Returns its id.
    int add_cable(const std::string& name, const RomImage* rom);

    // The cable's record as the bench has it now.
    CableRecord cable(int id);

    // Changes a cable's record.
    void change_cable(int id, const std::function<void(CableRecord&)>& change);

    // Changes the bench settings.
    void change_settings(const std::function<void(BenchSettings&)>& change);

    // Writes a valid POF file carrying image into the working folder; returns its name.
    std::string write_pof(const std::string& name, const RomImage& image);

    // Runs cablewright in the working folder with the bench and the programmer on PATH; without
    // programmer_on_path, a copy of cablewright that cannot find the programmer anywhere.
    ChildRun cablewright(const std::vector<std::string>& args, const std::string& input = "",
                         bool programmer_on_path = true);

    // Runs cablewright with a child prepared by cablewright_child.
    ChildRun run(const ChildSpec& child);
    ChildSpec cablewright_child(const std::vector<std::string>& args,
                                bool programmer_on_path = true);

    // True when the working folder holds the temporary file or a run's private folder.
    bool temp_file_left() const;

    // The runs' private folders (".cablewright-...") in the working folder.
    std::vector<std::string> private_folders() const;

    std::string root_;
    std::string bench_;
    std::string work_;
};

// What the simulated programmer prints when it programs image through cable: the checksum is
// the temporary file's, which is write_pof's file with image in it and a fresh CRC.
std::string programmer_report(const std::string& cable, const RomImage& image,
                              bool rom_written = true);

// The cable's identity in the file's frame: bytes below 0x20 from the file, the rest from the
// (signed) cable.
RomImage merged_image(const RomImage& cable, const RomImage& file);

// The programmer's command line as cablewright prints it for the cable "USB-1".
extern const char kUsb1CommandLine[];

// What cablewright says when an interrupt arrives after the temporary file was written.
extern const char kInterruptAck[];

// The first lines an update prints on standard error: the cable's name and the summary lines of
// its ROM and of the file.
std::string update_head(const std::string& name, const RomImage& cable, const RomImage& file);

// The expected "Reprogramming cable ..." and summary lines.
std::string cable_line(const RomImage& image);
std::string pof_line(const RomImage& image);

// The 17-line dump cablewright prints for image under label, written out here on its own so that
// the expectations do not take the program's formatter on trust.
std::string rom_dump(const std::string& label, const RomImage& image);

// text as a console program writes it here, for comparing with what a run printed: each "\n"
// becomes kConsoleLineEnd ("\r\n" on Windows).
std::string console(const std::string& text);

// What a terminal shows after text: carriage returns, backspaces and overwriting applied,
// trailing blanks of each line dropped, each line ending in "\n".
std::string terminal_screen(const std::string& text);
