#include "driver/ledger.h"

#include <gtest/gtest.h>

#include "driver/history_report.h"
#include "driver/json_text.h"

namespace {

std::string start(const std::string& run, const std::string& extra) {
    return R"({"record":"start","run":")" + run + R"(","time":"2026-01-01T00:00:0)" + run +
           R"(.000Z","cable":"U [)" + run + R"(]","action":"initialise")" + extra + "}\n";
}
std::string end(const std::string& run, const std::string& extra) {
    return R"({"record":"end","run":")" + run + R"(","outcome":"done")" + extra + "}\n";
}
std::string taken(const std::string& run, const std::string& serial) {
    return R"({"record":"serial","run":")" + run + R"(","cable":"U [)" + run + R"(]","serial":")" +
           serial + "\"}\n";
}

std::string joined(const std::vector<std::string>& serials) {
    std::string text;
    for (const std::string& serial : serials) {
        text += serial + " ";
    }
    return text;
}

// Which serials a history holds free: taken by any record, free again only when the run that
// took it ended without starting the programmer.
TEST(Ledger, LowestFreeSerials) {
    struct Case {
        const char* label;
        std::string history;
        const char* range;
        std::size_t count;
        const char* expected;
    };
    const Case cases[] = {
        {"empty history", "", "A-0100..A-0199", 2, "A-0100 A-0101 "},
        {"a killed run keeps its serial", start("1", "") + taken("1", "A-0100"), "A-0100..A-0199",
         1, "A-0101 "},
        {"nothing written: free again",
         start("1", "") + taken("1", "A-0100") + end("1", R"(,"programmer_started":false)"),
         "A-0100..A-0199", 1, "A-0100 "},
        {"programmer started: kept",
         start("1", "") + taken("1", "A-0100") + end("1", R"(,"programmer_started":true)"),
         "A-0100..A-0199", 1, "A-0101 "},
        {"a cable's own serial stays taken",
         start("1", R"(,"serial":"A-0100")") + end("1", R"(,"programmer_started":false)"),
         "A-0100..A-0199", 1, "A-0101 "},
        {"typed serial lapses, the cable's serial after holds",
         start("1", R"(,"serial_requested":"A-0100")") +
             end("1", R"(,"serial_after":"A-0101","programmer_started":false)"),
         "A-0100..A-0199", 1, "A-0100 "},
        {"a station's serial passes to its run",
         taken("S", "A-0100") + taken("S", "A-0101") +
             start("2", R"(,"batch":"S","serial_requested":"A-0100")") +
             end("2", R"(,"batch":"S","programmer_started":false)") +
             end("S", R"(,"programmer_started":true)"),
         "A-0100..A-0199", 1, "A-0100 "},
        {"gaps are filled from the lowest", taken("1", "A-0100") + taken("1", "A-0102"),
         "A-0100..A-0199", 3, "A-0101 A-0103 A-0104 "},
        {"range used up", taken("1", "A-0100") + taken("1", "A-0101"), "A-0100..A-0101", 1, ""},
        {"fewer left than asked", taken("1", "A-0198"), "A-0198..A-0199", 2, "A-0199 "},
        {"a torn line names nothing", "{\"record\":\"serial\",\"run\":\"1\",\"serial\":\"A-0100",
         "A-0100..A-0199", 1, "A-0100 "},
        {"digits counted only where the format has them", "", "7-98X..8-01X", 4,
         "7-98X 7-99X 8-00X 8-01X "},
        {"a byte above 0x7F reads back as written",
         R"({"record":"serial","run":"1","serial":)" +
             json_string("N\xb0"
                         "001") +
             "}\n",
         "N\xb0"
         "001..N\xb0"
         "009",
         1,
         "N\xb0"
         "002 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SerialRange range;
        ASSERT_TRUE(split_serial_range(c.range, range));
        const std::string format = c.range[0] == '7'   ? "#-##X"
                                   : c.range[0] == 'N' ? "N\xb0###"
                                                       : "A-####";
        ASSERT_TRUE(serial_range_fits(range, format));
        EXPECT_EQ(joined(free_serials(c.history, range, format, c.count)), c.expected);
    }
}

TEST(Ledger, RangesAgainstFormats) {
    struct Case {
        const char* text;
        bool splits, reversed, fits;  // fits "A-####"
    };
    const Case cases[] = {
        {"A-0100..A-0199", true, false, true},
        {"A-0100", false, false, false},
        {"A-0100..A-0150..A-0199", false, false, false},
        {"A-0199..A-0100", true, true, true},
        {"A-0100..A-0100", true, false, true},
        {"A-0100..B-0199", true, false, false},
        {"A-010..A-0199", true, false, false},
        {"B-0199..A-0100", true, false, false},
        {"..", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SerialRange range;
        EXPECT_EQ(split_serial_range(c.text, range), c.splits);
        if (c.splits) {
            EXPECT_EQ(serial_range_reversed(range), c.reversed);
            EXPECT_EQ(serial_range_fits(range, "A-####"), c.fits);
        }
    }
}

// Only whole records of ours are read; strings are decoded as JSON writes them.
TEST(Ledger, ReadsWholeRecordsOnly) {
    struct Case {
        const char* line;
        bool record;
        const char* cable;
    };
    const Case cases[] = {
        // Bytes from 0x7F up were written as \u00XX: one byte each again.
        {R"({"record":"end","run":"1","cable":"U \"1\" \u00e9\u007f\ud83d\ude00"})", true,
         "U \"1\" \xe9\x7f\xf0\x9f\x98\x80"},
        {R"({"record":"end","run":"1","x":oops})", false, ""},
        {R"({"record":"end","run":"1","programmer_started":truex})", false, ""},
        {R"({"record":"end","run":"1","status":08})", false, ""},
        {R"({"record":"end","run":"1","status":-1.5e+3})", true, ""},
        {R"( {"record":"start","run":"1","argv":["a",{"b":[1,2]}],"cable":null} )", true, ""},
        {R"({"record":"start","run":"1","cable":"U"})"
         "x",
         false, ""},
        {R"({"record":"start","run":"1","cable":"U)", false, ""},
        {R"({"record":"note","run":"1"})", false, ""},
        {R"({"run":"1"})", false, ""},
        {R"({"record":"end","run":"1","cable":"\ud83d"})", false, ""},
        {"added by hand", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        HistoryRecord record;
        const std::string line = c.line;
        EXPECT_EQ(read_history_record(line.data(), line.data() + line.size(), record), c.record);
        if (c.record) {
            EXPECT_EQ(record.cable.value_or(""), c.cable);
        }
    }
}

// One row per run in time order, a run that did not finish named on standard error, lines that
// are not records counted.
TEST(HistoryReport, RowsNotesAndFilters) {
    const std::string history =
        start("2", R"(,"serial":"A-0042","zan_version":3,"file":{"path":"new.pof","size":1})") +
        end("2", R"(,"serial_after":"A-0042","zan_version_after":4)") +
        start("1", R"(,"serial":"","zan_version":0)") + taken("1", "A-0100") +
        end("3", R"(,"cable":"U [3]","outcome":"failed")") + "{\"record\":\"start\",\"ru";
    // A refused run whose taken serial lapsed, a cable whose unfinished run was followed by one
    // that finished, and a cable name with an escape byte.
    const std::string later =
        start("5", R"(,"serial":"")") + taken("5", "A-0105") +
        end("5", R"(,"outcome":"refused","programmer_started":false)") + start("6", "") +
        R"({"record":"start","run":"7","time":"2026-01-01T00:00:08.000Z","cable":"U [6]"})"
        "\n" +
        end("7", "") + start("8", R"(,"cable":"U\u001b[2J")");
    struct Case {
        const char* label;
        const char* cable;
        const char* serial;
        bool json;
        std::string out;
        std::string notes;
        const std::string* text = nullptr;  // null: the history above
    };
    const std::string unfinished =
        "Cable U [1]: its last run did not finish; it may still be in select mode: run "
        "cablewright --cable \"U [1]\" --leave-select-mode\n";
    const Case cases[] = {
        {"all", nullptr, nullptr, false,
         "-  U [3]  -  -  ZAN - -> -  -  failed\n"
         "2026-01-01T00:00:01.000Z  U [1]  initialise  A-0100  ZAN 0 -> -  -  did not finish\n"
         "2026-01-01T00:00:02.000Z  U [2]  initialise  A-0042  ZAN 3 -> 4  new.pof  done\n",
         unfinished},
        {"by serial after", nullptr, "A-0042", false,
         "2026-01-01T00:00:02.000Z  U [2]  initialise  A-0042  ZAN 3 -> 4  new.pof  done\n", ""},
        {"by cable, as JSON", "U [1]", nullptr, true,
         R"({"runs":[{"time":"2026-01-01T00:00:01.000Z","cable":"U [1]","action":"initialise",)"
         R"("serial":"A-0100","zan_before":0,"zan_after":null,"file":null,)"
         R"("outcome":"did not finish"}]})"
         "\n",
         unfinished},
        {"by the serial an unfinished run took", nullptr, "A-0100", false,
         "2026-01-01T00:00:01.000Z  U [1]  initialise  A-0100  ZAN 0 -> -  -  did not finish\n",
         unfinished},
        {"lapsed serial, a later finished run, an escape byte", nullptr, nullptr, false,
         "2026-01-01T00:00:05.000Z  U [5]  initialise  -  ZAN - -> -  -  refused\n"
         "2026-01-01T00:00:06.000Z  U [6]  initialise  -  ZAN - -> -  -  did not finish\n"
         "2026-01-01T00:00:08.000Z  U [6]  -  -  ZAN - -> -  -  done\n"
         "2026-01-01T00:00:08.000Z  U\\x1B[2J  initialise  -  ZAN - -> -  -  did not finish\n",
         "Cable U\\x1B[2J: its last run did not finish; it may still be in select mode: run "
         "cablewright --cable \"U\\x1B[2J\" --leave-select-mode\n",
         &later},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string& text = c.text != nullptr ? *c.text : history;
        Options options;
        options.json = c.json;
        if (c.cable != nullptr) {
            options.cable = c.cable;
        }
        if (c.serial != nullptr) {
            options.serial = c.serial;
        }
        std::string out;
        std::string notes;
        EXPECT_EQ(history_report_text(text, options, out, notes), c.text != nullptr ? 0u : 1u);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(notes, c.notes);
    }
}

}  // namespace
