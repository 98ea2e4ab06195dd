// The front door end to end: help, version, misuse, the cable list and its JSON form, against a
// temporary bench.
#include <algorithm>
#include <string>
#include <vector>

#include "driver/help.h"
#include "testing/json_reader.h"
#include "testing/rom_images.h"
#include "tests/bench_fixture.h"

namespace {

const std::string kUsage =
    "Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n"
    "Try 'cablewright --help' for more information.\n";

// Reads a JSON document strictly and prints each cable's fields, sorted, one cable per line,
// strings turned back into their bytes. Fails unless the document is pure ASCII and strict JSON
// with exactly the key "cables".
std::string parsed(const std::string& document) {
    for (unsigned char c : document) {
        if (c >= 0x80) {
            ADD_FAILURE() << "not ASCII: " << document;
            return "";
        }
    }
    Json doc;
    std::string error;
    if (!read_json(document, doc, error)) {
        ADD_FAILURE() << error << ": " << document;
        return "";
    }
    EXPECT_EQ(keys_of(doc), std::vector<std::string>{"cables"});
    std::string lines;
    for (const Json& cable : doc.contains("cables") ? doc["cables"] : Json::array()) {
        std::vector<std::string> keys = keys_of(cable);
        std::sort(keys.begin(), keys.end());
        std::string line;
        for (const std::string& key : keys) {
            line += (line.empty() ? "" : " ") + key + "=" + text_of(cable, key);
        }
        lines += line + "\n";
    }
    return lines;
}

using FrontDoor = BenchTest;

TEST_F(FrontDoor, HelpVersionAndMisuseTouchNoCable) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    int id = add_cable("USB-1 [1-1]", &rom);
    // Any touch of the cable would now show in the output.
    change_cable(id, [](CableRecord& c) {
        c.faults.find.code = 82;
        c.faults.lock.code = 82;
    });
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const std::string version = std::string("cablewright ") + CW_VERSION + "\n";
    const Case cases[] = {
        {{"--help"}, 0, help_text(), ""},
        {{"-h", "--forse", "a.txt", "b.txt"}, 0, help_text(), ""},
        {{"-V", "-c", "USB-1 [1-1]"}, 0, version, ""},
        {{"--version", "--HELP"}, 0, help_text(), ""},
        {{"--forse"}, 16, "", "Unknown option --forse\n" + kUsage},
        {{"--cable"}, 16, "", "Option --cable needs a value\n" + kUsage},
        {{"a.pof", "b.pof"}, 16, "", "Only one file can be programmed at a time\n" + kUsage},
        {{"--list", "new.pof"}, 16, "", "Option --list cannot be used with a file\n" + kUsage},
        {{"--json", "new.pof"}, 16, "", "Option --json cannot be used with a file\n" + kUsage},
        {{"-c", "--help"},
         12,
         "",
         "Reprogramming cable --help\nUnable to find jtag cable \"--help\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        ChildRun r = cablewright(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, console(c.out));
        EXPECT_EQ(r.err, console(c.err));
    }
}

// Several cables: one with a ROM, one blank, one locked elsewhere, one with a garbled ROM, one
// the server offers for no selection, and one whose name needs escaping.
class FrontDoorBench : public FrontDoor {
  protected:
    void SetUp() override {
        FrontDoor::SetUp();
        add_cable("USB-1 [1-1]", &signed_);
        add_cable("USB-2 [1-2]", nullptr);
        int busy = add_cable("USB-3 [1-3]", &signed_);
        change_cable(busy, [](CableRecord& c) { c.faults.lock.code = 36; });
        int garbled = add_cable("USB-4 [1-4]", &signed_);
        change_cable(garbled, [](CableRecord& c) {
            c.faults.has_rom_reply = true;
            c.faults.rom_reply = std::string(510, '0') + "zz";
        });
        int hidden = add_cable("USB-5 [1-5]", &signed_);
        change_cable(hidden, [](CableRecord& c) { c.usable = 0; });
        add_cable(odd_name_, &old_);
        change_settings([](BenchSettings& s) { s.messages = {{1, "firmware old"}}; });
    }

    const RomImage signed_ = cable_rom(3, 2, "AB-07", true);
    // Hardware id 1 with a short serial: shown after fix-ups.
    const RomImage old_ = cable_rom(5, 1, "42", false, "USB Kestrel++");
    const std::string odd_name_ = "Say \"hi\" \\ caf\xE9\t[1-6]";
};

TEST_F(FrontDoorBench, ListsEveryCableOfTheFamily) {
    ChildRun r = cablewright({"--list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console("Warning: firmware old\n"
                             "1) USB-1 [1-1]: ZAN_version=3, hardware_id=2, serial \"AB-07\", "
                             "product \"USB-KestrelII\", signature present\n"
                             "2) USB-2 [1-2]: blank\n"
                             "3) USB-3 [1-3]: in use\n"
                             "4) USB-4 [1-4]: unreadable ROM\n"
                             // The tab, a control byte, as the row shows it.
                             "6) Say \"hi\" \\ caf\xE9\\x09[1-6]"
                             ": ZAN_version=5, hardware_id=1, serial \"101-042\", product "
                             "\"USB-KestrelII\", signature missing\n"));
    EXPECT_EQ(r.err, "");
    // Nothing was left locked: a plain run can use the cables at once.
    ChildRun shown = cablewright({"-c", "USB-1 [1-1]"});
    EXPECT_EQ(shown.status, 0);

    ChildRun named = cablewright({"-l", "--cable=USB-3 [1-3]"});
    EXPECT_EQ(named.status, 0);
    EXPECT_EQ(named.out, console("Warning: firmware old\n1) USB-3 [1-3]: in use\n"));
}

TEST_F(FrontDoorBench, ListAsJson) {
    ChildRun r = cablewright({"--list", "--json"});
    EXPECT_EQ(r.status, 0);
    // The library's messages leave standard output to the document.
    EXPECT_EQ(r.err, console("Warning: firmware old\n"));
    EXPECT_EQ(parsed(r.out),
              "blank=false hardware_id=2 name=USB-1 [1-1] number=1 product_name=USB-KestrelII "
              "rom=" +
                  hex_of(signed_) +
                  " serial=AB-07 signature=true updatable=true zan_version=3\n"
                  "blank=true hardware_id=0 name=USB-2 [1-2] number=2 product_name= rom=" +
                  std::string(512, '0') +
                  " serial= signature=false updatable=true zan_version=0\n"
                  "error=in use name=USB-3 [1-3] number=3\n"
                  "error=unreadable ROM name=USB-4 [1-4] number=4\n"
                  "blank=false hardware_id=1 name=" +
                  odd_name_ + " number=6 product_name=USB-KestrelII rom=" + hex_of(old_) +
                  " serial=101-042 signature=false updatable=true zan_version=5\n");
}

TEST_F(FrontDoorBench, ShowRunAsJson) {
    struct Case {
        std::vector<std::string> args;  // --json is added
        int status;
        std::string cables;
    };
    const Case cases[] = {
        {{"-c", odd_name_, "--debug"},
         0,
         "blank=false hardware_id=1 name=" + odd_name_ +
             " number=null product_name=USB-KestrelII rom=" + hex_of(old_) +
             " serial=101-042 signature=false updatable=true zan_version=5\n"},
        {{"--cable=USB-5 [1-5]"},
         0,
         "blank=false hardware_id=2 name=USB-5 [1-5] number=null product_name=USB-KestrelII "
         "rom=" +
             hex_of(signed_) + " serial=AB-07 signature=true updatable=false zan_version=3\n"},
        {{"-c", "USB-4 [1-4]"}, 8, ""},
        {{"-c", "USB-9"}, 12, ""},
        {{}, 12, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "no cable" : c.args.back());
        ChildRun plain = cablewright(c.args);
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        ChildRun r = cablewright(args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(plain.status, c.status);
        EXPECT_EQ(parsed(r.out), c.cables);
        // Standard error reads as without --json, with the library's message moved there.
        const std::string message = console("Warning: firmware old\n");
        EXPECT_EQ(plain.out.substr(0, message.size()), message);
        std::size_t at = r.err.find(message);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(r.err.substr(0, at) + r.err.substr(at + message.size()), plain.err);
    }
}

// The binary's status and output; which records count as this family is CableList's concern.
TEST_F(FrontDoor, ListWithoutCablesEndsWithTwelve) {
    ChildRun r = cablewright({"--list"});
    EXPECT_EQ(r.status, 12);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, console("No JTAG hardware available\n"));
    r = cablewright({"--list", "--json"});
    EXPECT_EQ(r.status, 12);
    EXPECT_EQ(r.out, console("{\"cables\":[]}\n"));
    EXPECT_EQ(r.err, console("No JTAG hardware available\n"));
}

}  // namespace
