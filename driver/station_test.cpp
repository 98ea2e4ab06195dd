#include "driver/station.h"

#include "driver/station_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "driver/reconcile.h"
#include "sim/pof_builder.h"
#include "sim/rom_recipe.h"
#include "testing/json_reader.h"
#include "testing/pof_in_memory.h"

namespace {

RomImage rom(std::uint16_t version, std::uint16_t id, const std::string& serial, bool signature) {
    RomFields fields;
    fields.zan_version = version;
    fields.hardware_id = id;
    fields.serial = serial;
    fields.signature = signature;
    return make_rom(fields);
}

PofImage pof_of(const RomImage& image) {
    PofRecipe recipe;
    recipe.image = image;
    PofImage pof;
    EXPECT_TRUE(parse_pof_copy(build_pof(recipe), StoredCrc::kMustMatch, pof));
    return pof;
}

ListedCable listed(const char* name, ListedKind kind, const RomImage& image = RomImage{}) {
    ListedCable cable;
    cable.name = name;
    cable.kind = kind;
    cable.rom = image;
    return cable;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Each cable is judged by the single run's own rules: the outcome, the row and the reason it
// gives are what a run on that cable alone would decide and say.
TEST(Station, JudgesEachCableAsASingleRunWould) {
    const RomImage file = rom(4, 2, "A-####", true);
    const RomImage jumper_file = rom(4, 1, "A-####", true);
    const RomImage unsigned_file = rom(4, 2, "A-####", false);
    struct Case {
        ListedCable cable;
        const RomImage& file;
        bool force;
        const char* row;
        bool to_program;
    };
    const Case cases[] = {
        {listed("U [1]", ListedKind::kRom, rom(3, 2, "A-0042", true)), file, false,
         "U [1]: serial A-0042, ZAN 3 -> 4, would update\n", true},
        {listed("U [1]", ListedKind::kRom, rom(4, 2, "A-0042", true)), file, false,
         "U [1]: serial A-0042, ZAN 4 -> 4, up to date\n", false},
        {listed("U [1]", ListedKind::kRom, rom(5, 2, "A-0042", true)), file, false,
         "U [1]: serial A-0042, ZAN 5 -> 5, up to date\n", false},
        {listed("U [1]", ListedKind::kRom, rom(4, 2, "A-0042", true)), file, true,
         "U [1]: serial A-0042, ZAN 4 -> 4, would update\n", true},
        {listed("U [1]", ListedKind::kRom, rom(3, 3, "A-0042", true)), file, false,
         "U [1]: serial A-0042, ZAN 3 -> -, refused\n", false},
        {listed("U [1]", ListedKind::kRom, rom(3, 2, "A-0042", false)), unsigned_file, false,
         "U [1]: serial A-0042, ZAN 3 -> -, refused\n", false},
        // No serial to give it: refused with the usual request for one.
        {listed("B [2]", ListedKind::kRom), file, false, "B [2]: serial -, ZAN - -> -, refused\n",
         false},
        {listed("J [3]", ListedKind::kRom, rom(3, 1, "A-0001", true)), jumper_file, false,
         "J [3]: serial A-0001, ZAN 3 -> -, needs jumpers\n", false},
        {listed("K [4]", ListedKind::kInUse), file, false, "K [4]: serial -, ZAN - -> -, in use\n",
         false},
        {listed("E [5]", ListedKind::kUnreadable), file, false,
         "E [5]: serial -, ZAN - -> -, failed\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        StationCable judged = judge_cable(c.cable, pof_of(c.file), c.force);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(station_row(judged), c.row);
        EXPECT_EQ(judged.to_program, c.to_program);
        if (c.cable.kind != ListedKind::kRom) {
            continue;
        }
        // The reason is the single run's own message, line for line, less the file's line.
        CableState state = examine_cable(c.cable.rom);
        PofImage merged = pof_of(c.file);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        reconcile(&state, &merged, nullptr, c.force);
        std::vector<std::string> said = lines_of(testing::internal::GetCapturedStderr());
        testing::internal::GetCapturedStdout();
        said.erase(said.begin());
        if (judged.outcome != StationOutcome::kNeedsJumpers) {
            EXPECT_EQ(judged.reasons, said);
        }
    }
}

// The run's exit status is the final word on a cable it was started for.
TEST(Station, RunEndsBecomeOutcomes) {
    StationCable used;
    StationCable blank;
    blank.blank = true;
    const std::string lock =
        "Reprogramming cable U\nCable U is being updated by another cablewright run; nothing was "
        "changed\n";
    struct Case {
        const StationCable& cable;
        RunEnd end;
        StationOutcome outcome;
    };
    const Case cases[] = {
        {used, {false, false, 0, "Finished\n"}, StationOutcome::kUpdated},
        {blank, {false, false, 0, "Finished\n"}, StationOutcome::kInitialised},
        {used, {false, false, 8, "Stopping safely\nInterrupted\n"}, StationOutcome::kInterrupted},
        {used, {false, false, 8, "Interrupted\nUnable to write log h\n"}, StationOutcome::kFailed},
        {used, {false, false, 8, lock}, StationOutcome::kInUse},
        {used, {false, false, 12, lock}, StationOutcome::kFailed},
        {used, {false, false, 8, "Unable to start the programmer\n"}, StationOutcome::kFailed},
        {used, {false, false, 3, ""}, StationOutcome::kFailed},
        {used, {true, false, 0, ""}, StationOutcome::kFailed},
        // Ended by the interrupt the station passed on, before it guarded its cable.
        {used, {true, true, 0, ""}, StationOutcome::kInterrupted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end.messages + std::to_string(c.end.exit_status));
        EXPECT_EQ(run_outcome(c.cable, c.end), c.outcome);
    }
}

// Bytes arrive as the run writes them; only whole lines pass, each prefixed once.
TEST(Station, PrefixesWholeLinesOnly) {
    std::string pending;
    EXPECT_EQ(prefixed_lines("U [1]", pending, "Repro", false), "");
    EXPECT_EQ(prefixed_lines("U [1]", pending, "gramming\nCable ZAN", false),
              "U [1]: Reprogramming\n");
    EXPECT_EQ(prefixed_lines("U [1]", pending, "=3\n\nvantor_pgm -c x\n", false),
              "U [1]: Cable ZAN=3\nU [1]: \nU [1]: vantor_pgm -c x\n");
    // A run on Windows ends its lines with "\r\n", which may arrive apart.
    EXPECT_EQ(prefixed_lines("U [1]", pending, "Checking\r", false), "");
    EXPECT_EQ(prefixed_lines("U [1]", pending, "\n\r\n", false), "U [1]: Checking\nU [1]: \n");
    EXPECT_EQ(pending, "");
    EXPECT_EQ(prefixed_lines("U [1]", pending, "Fini", false), "");
    EXPECT_EQ(prefixed_lines("U [1]", pending, "", true), "U [1]: Fini\n");
    EXPECT_EQ(prefixed_lines("U [1]", pending, "", true), "");
}

TEST(Station, CountLineAndStatus) {
    auto cables = [](std::vector<StationOutcome> outcomes) {
        std::vector<StationCable> list;
        for (StationOutcome outcome : outcomes) {
            StationCable cable;
            cable.outcome = outcome;
            list.push_back(cable);
        }
        return list;
    };
    using O = StationOutcome;
    struct Case {
        std::vector<O> outcomes;
        bool dry_run;
        const char* count;
        int status;
    };
    const Case cases[] = {
        {{O::kFailed, O::kUpdated, O::kUpToDate, O::kUpdated},
         false,
         "2 updated, 1 up to date, 1 failed\n",
         8},
        {{O::kUpToDate, O::kInitialised, O::kUpdated},
         false,
         "1 updated, 1 initialised, 1 up to date\n",
         0},
        {{O::kInUse, O::kNeedsJumpers, O::kInterrupted, O::kRefused},
         false,
         "1 refused, 1 interrupted, 1 needs jumpers, 1 in use\n",
         8},
        {{O::kWouldUpdate, O::kWouldInitialise, O::kUpToDate},
         true,
         "1 would update, 1 would initialise, 1 up to date\n",
         0},
        {{O::kWouldUpdate, O::kNeedsJumpers}, true, "1 would update, 1 needs jumpers\n", 8},
        {{O::kWouldUpdate, O::kInUse}, true, "1 would update, 1 in use\n", 8},
        {{O::kUpdated, O::kInterrupted}, false, "1 updated, 1 interrupted\n", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(count_line(cables(c.outcomes)), c.count);
        EXPECT_EQ(station_status(cables(c.outcomes), c.dry_run), c.status);
    }
}

// The terminal view follows each run through its phases from the lines it wrote.
TEST(Station, ViewFollowsEachRun) {
    const std::string head =
        "Reprogramming cable U\nCable ZAN_version=3, hardware_id=2, signature present\n";
    const std::string pof = "POF ZAN_version=4, hardware_id=2, signature present\n";
    const std::string command = "vantor_pgm -c \"U\" -m jtag -o \"p;cablewright.tmp.pof\"\n";
    struct Case {
        std::string messages;
        std::string output;
        const char* phase;
    };
    const Case cases[] = {
        {"", "", "reading"},
        {head, "", "reading"},
        {head + pof, "Cable ROM contents:\n", "select mode"},
        {head + pof + command, "Programming \"cablewright.tmp.pof\"", "programming"},
        {head + pof + command, "Programming successful\n", "checking"},
        {head + pof + command + "Error (Timeout) when", "", "checking"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messages + c.output);
        EXPECT_STREQ(run_phase(c.messages, c.output), c.phase);
    }
    StationCable cable;
    cable.name = "USB-1 [1-1]";
    cable.serial = "A-0042";
    cable.zan_before = 3;
    cable.zan_after = 4;
    EXPECT_EQ(view_line(cable, "programming", 80),
              "USB-1 [1-1]: serial A-0042, ZAN 3 -> 4, programming");
    // Never as wide as the terminal: a wrapped line would break the view.
    EXPECT_EQ(view_line(cable, "programming", 20), "USB-1 [1-1]: serial");
}

// The document a script reads: every cable with nulls for what is unknown, counts as the count
// line has them, names escaped as in every other JSON the program writes.
TEST(Station, JsonDocument) {
    StationCable updated;
    updated.name = "U \"1\"";
    updated.serial = "A-0042";
    updated.zan_before = 3;
    updated.zan_after = 4;
    updated.outcome = StationOutcome::kUpdated;
    updated.status = 0;
    updated.messages = {"Reprogramming cable U \"1\"", "Finished"};
    StationCable busy;
    busy.name = "K\x01";
    busy.outcome = StationOutcome::kInUse;
    Json document;
    std::string error;
    ASSERT_TRUE(
        read_json(station_json({updated, busy}, "0123456789ABCDEF", "/w/new.pof"), document, error))
        << error;
    EXPECT_EQ(keys_of(document), (std::vector<std::string>{"station", "counts", "cables"}));
    EXPECT_EQ(document["station"].dump(), R"({"run":"0123456789ABCDEF","file":"/w/new.pof"})");
    EXPECT_EQ(document["counts"].dump(), R"({"updated":1,"in use":1})");
    ASSERT_EQ(document["cables"].size(), 2u);
    EXPECT_EQ(document["cables"][0].dump(),
              R"({"name":"U \"1\"","serial":"A-0042","zan_before":3,"zan_after":4,)"
              R"("outcome":"updated","status":0,"messages":["Reprogramming cable U \"1\"",)"
              R"("Finished"]})");
    EXPECT_EQ(text_of(document["cables"][1], "name"), "K\x01");
    EXPECT_EQ(document["cables"][1].dump(),
              R"({"name":"K\u0001","serial":null,"zan_before":null,"zan_after":null,)"
              R"("outcome":"in use","status":null,"messages":[]})");
}

}  // namespace
