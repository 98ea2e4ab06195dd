#include "cable/cable_select.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/fake_linkhub.h"

namespace {

using Log = std::vector<std::string>;

const std::string kProgressLine =
    "Connecting to server(s) [.                   ]" + std::string(20, '\b');
const std::string kWipeLine = "\r" + std::string(46, ' ') + "\r";

class CableSelect : public testing::Test {
  protected:
    void SetUp() override { reset_fake_linkhub(); }

    void add_cable(const std::string& name) {
        FakeCable cable;
        cable.name = name;
        cable.rom_text = fake_rom_text(0, 1);
        fake_linkhub().cables.push_back(cable);
    }

    void script_timeouts(int n) {
        for (int i = 0; i < n; ++i) {
            fake_linkhub().list_script.push_back({ListReply::kTimeout, 0, 0});
        }
    }

    // Runs scan_hardware from its starting state; returns what it wrote to standard error.
    std::string scan(HWL_ERROR& result, std::uint32_t& count) {
        std::vector<HWL_HARDWARE> list;
        count = 0;
        testing::internal::CaptureStderr();
        result = scan_hardware(count, list);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_LE(count, list.size());
        return err;
    }

    // Runs select_cable; returns what it wrote to standard error.
    std::string select(bool& chosen, std::string& name) {
        testing::internal::CaptureStderr();
        chosen = select_cable(name);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(0, fake_locked_chains());
        return err;
    }
};

TEST_F(CableSelect, ServerReachableAtOnceShowsNoProgress) {
    add_cable("USB-1");
    add_cable("USB-2");
    HWL_ERROR result = 99;
    std::uint32_t count = 0;
    EXPECT_EQ("", scan(result, count));
    EXPECT_EQ(HWL_OK, result);
    EXPECT_EQ(2u, count);
    // The first answer asks for room; the regrown list is queried at once.
    EXPECT_EQ((Log{"get_hardware 0 250", "get_hardware 2 0"}), fake_linkhub().log);
}

TEST_F(CableSelect, ProgressLineDependsOnTheAttemptThatReachesTheServer) {
    struct Case {
        int timeouts;
        std::string expected;
    };
    const Case cases[] = {
        {1, ""},
        {2, kWipeLine},  // attempt 2 answers: nothing shown yet, but the line is wiped
        {3, kProgressLine + kWipeLine},
        {4, kProgressLine + kWipeLine},
        {6, kProgressLine + kWipeLine},
        {7, kProgressLine + "." + kWipeLine},
        {11, kProgressLine + ".." + kWipeLine},
    };
    for (const Case& c : cases) {
        reset_fake_linkhub();
        add_cable("USB-1");
        script_timeouts(c.timeouts);
        HWL_ERROR result = 99;
        std::uint32_t count = 0;
        EXPECT_EQ(c.expected, scan(result, count)) << c.timeouts << " timeouts";
        EXPECT_EQ(HWL_OK, result);
        EXPECT_EQ(1u, count);
        EXPECT_EQ(static_cast<std::size_t>(c.timeouts) + 2, fake_linkhub().list_calls);
    }
}

TEST_F(CableSelect, ServerNeverReachableGivesUpAfterEightyAttempts) {
    script_timeouts(100);
    HWL_ERROR result = 99;
    std::uint32_t count = 0;
    std::string err = scan(result, count);
    EXPECT_EQ(kProgressLine + std::string(19, '.') + kWipeLine, err);
    EXPECT_EQ(HWL_TIMEOUT, result);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(Log(80, "get_hardware 0 250"), fake_linkhub().log);

    reset_fake_linkhub();
    script_timeouts(100);
    bool chosen = true;
    std::string name = "kept";
    EXPECT_EQ(kProgressLine + std::string(19, '.') + kWipeLine + "No JTAG hardware available\n",
              select(chosen, name));
    EXPECT_FALSE(chosen);
    EXPECT_EQ("kept", name);
}

TEST_F(CableSelect, RegrownListSurvivesATimeoutOfTheImmediateQuery) {
    add_cable("USB-1");
    add_cable("USB-2");
    add_cable("USB-3");
    fake_linkhub().list_script = {{ListReply::kAnswer, 0, 0}, {ListReply::kTimeout, 0, 0}};
    HWL_ERROR result = 99;
    std::uint32_t count = 0;
    EXPECT_EQ("", scan(result, count));
    EXPECT_EQ(HWL_OK, result);
    EXPECT_EQ(3u, count);
    EXPECT_EQ((Log{"get_hardware 0 250", "get_hardware 3 0", "get_hardware 3 250"}),
              fake_linkhub().log);
}

TEST_F(CableSelect, ListTooSmallTwiceEndsTheScanWithThatCode) {
    add_cable("USB-1");
    add_cable("USB-2");
    fake_linkhub().list_script = {{ListReply::kAnswer, 0, 0},
                                  {ListReply::kFail, HWL_LIST_TOO_SMALL, 5}};
    bool chosen = true;
    std::string name;
    EXPECT_EQ("Error (Too many devices) when scanning hardware\n", select(chosen, name));
    EXPECT_FALSE(chosen);
    EXPECT_EQ((Log{"get_hardware 0 250", "get_hardware 2 0"}), fake_linkhub().log);
}

TEST_F(CableSelect, ScanFailureIsReported) {
    fake_linkhub().list_script = {{ListReply::kFail, 82, 0}};
    bool chosen = true;
    std::string name;
    EXPECT_EQ("Error (Server error) when scanning hardware\n", select(chosen, name));
    EXPECT_FALSE(chosen);
}

TEST_F(CableSelect, ChoosesTheOnlySuitableCable) {
    add_cable("USB-2 [1-1]");
    bool chosen = false;
    std::string name;
    EXPECT_EQ("", select(chosen, name));
    EXPECT_TRUE(chosen);
    EXPECT_EQ("USB-2 [1-1]", name);
    const std::string cable = "USB-2 [1-1]";
    EXPECT_EQ((Log{"get_hardware 0 250", "get_hardware 1 0", "lock " + cable + " 10000",
                   "get_parameter " + cable + " InternalEepromContents 64", "unlock " + cable,
                   "print_name " + cable + " 512"}),
              fake_linkhub().log);
}

TEST_F(CableSelect, ListsSeveralCablesByPositionInTheFullList) {
    add_cable("A");
    add_cable("B");
    add_cable("C");
    add_cable("D");
    fake_linkhub().cables[2].usable = 0;
    bool chosen = true;
    std::string name = "kept";
    EXPECT_EQ("Multiple cables available, please use --cable to specify one\n1) A\n2) B\n4) D\n",
              select(chosen, name));
    EXPECT_FALSE(chosen);
    EXPECT_EQ("kept", name);
}

TEST_F(CableSelect, ConsidersOnlyRecordsWithUsableWordSetAndVirtualWordClear) {
    struct Case {
        std::uint32_t usable;
        std::uint32_t virtual_hw;
        bool considered;
    };
    const Case cases[] = {
        {1, 0, true},  {0x80000000u, 0, true},  {0, 0, false},
        {1, 1, false}, {1, 0x01000000u, false}, {0, 1, false},
    };
    for (const Case& c : cases) {
        reset_fake_linkhub();
        add_cable("X");
        fake_linkhub().cables[0].usable = c.usable;
        fake_linkhub().cables[0].virtual_hw = c.virtual_hw;
        bool chosen = !c.considered;
        std::string name;
        std::string err = select(chosen, name);
        EXPECT_EQ(c.considered, chosen) << c.usable << "/" << c.virtual_hw;
        EXPECT_EQ(c.considered ? "" : "No suitable cables available\n", err);
        EXPECT_EQ(c.considered ? 6u : 2u, fake_linkhub().log.size());
    }
}

TEST_F(CableSelect, CableThatCannotBeLockedIsReportedAndPassedOver) {
    add_cable("busy");
    add_cable("free");
    fake_linkhub().cables[0].lock_result = 85;
    bool chosen = false;
    std::string name;
    EXPECT_EQ("  Unable to lock chain (Hardware in use)\n\n", select(chosen, name));
    EXPECT_TRUE(chosen);
    EXPECT_EQ("free", name);
}

TEST_F(CableSelect, CableWhoseRomQueryFailsIsSkippedSilently) {
    add_cable("other");
    add_cable("ours");
    fake_linkhub().cables[0].rom_result = 45;
    bool chosen = false;
    std::string name;
    EXPECT_EQ("", select(chosen, name));
    EXPECT_TRUE(chosen);
    EXPECT_EQ("ours", name);
    EXPECT_EQ("unlock other", fake_linkhub().log[4]);  // unlocked despite the failed query
}

TEST_F(CableSelect, NoCableAnsweringMeansNoneSuitable) {
    add_cable("A");
    add_cable("B");
    fake_linkhub().cables[0].rom_result = 45;
    fake_linkhub().cables[1].lock_result = 34;
    bool chosen = true;
    std::string name;
    EXPECT_EQ("  Unable to lock chain (Locked already)\n\nNo suitable cables available\n",
              select(chosen, name));
    EXPECT_FALSE(chosen);
}

TEST_F(CableSelect, UnreadableNameEndsTheWalkWithoutAChoice) {
    add_cable("A");
    add_cable("B");
    add_cable("C");
    fake_linkhub().cables[1].name_result = 81;
    bool chosen = true;
    std::string name = "kept";
    EXPECT_EQ(
        "Multiple cables available, please use --cable to specify one\n1) A\n"
        "Error (Communications error) when reading cable name\n",
        select(chosen, name));
    EXPECT_FALSE(chosen);
    EXPECT_EQ("kept", name);
    EXPECT_EQ("print_name B 512", fake_linkhub().log.back());  // C is never examined

    reset_fake_linkhub();
    add_cable("A");
    fake_linkhub().cables[0].name_result = 82;
    EXPECT_EQ("Error (Server error) when reading cable name\n", select(chosen, name));
    EXPECT_FALSE(chosen);
    EXPECT_EQ("kept", name);
}

TEST_F(CableSelect, NameIsBoundedByTheBufferCapacity) {
    struct Case {
        std::size_t length;
        std::size_t expected;
    };
    const Case cases[] = {{511, 511}, {512, 512}, {600, 512}};
    for (const Case& c : cases) {
        reset_fake_linkhub();
        add_cable(std::string(c.length, 'n'));
        bool chosen = false;
        std::string name;
        select(chosen, name);
        EXPECT_TRUE(chosen);
        EXPECT_EQ(std::string(c.expected, 'n'), name);
    }
}

}  // namespace
