#include "cable/cable_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/fake_linkhub.h"

namespace {

class CableList : public testing::Test {
  protected:
    void SetUp() override { reset_fake_linkhub(); }

    FakeCable& add_cable(const std::string& name) {
        FakeCable cable;
        cable.name = name;
        cable.rom_text = fake_rom_text(0x10, 1);
        fake_linkhub().cables.push_back(cable);
        return fake_linkhub().cables.back();
    }

    // Lists (all cables, or the one named); returns what went to standard error.
    std::string list(int& status, std::vector<ListedCable>& cables, const char* name = nullptr) {
        testing::internal::CaptureStderr();
        status = name != nullptr ? list_named_cable(name, cables) : list_attached_cables(cables);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(0, fake_locked_chains());
        return err;
    }
};

TEST_F(CableList, EachCableOfTheFamilyWithWhatItsRomHolds) {
    add_cable("USB-1 [1-1]");
    add_cable("Virtual").virtual_hw = 1;
    add_cable("Busy").lock_result = 36;
    add_cable("Owned").lock_result = 34;
    add_cable("Taken").lock_result = 85;
    add_cable("Broken").lock_result = 87;
    add_cable("Garbage").rom_text = std::string(510, '0') + "zz";
    add_cable("Blank").rom_text = "empty";
    add_cable("Silent").rom_result = 86;
    add_cable("Unused").usable = 0;
    add_cable("Nameless").name_result = 82;

    int status = -1;
    std::vector<ListedCable> cables;
    EXPECT_EQ(list(status, cables), "");
    EXPECT_EQ(status, 0);

    struct Expected {
        int number;
        const char* name;
        ListedKind kind;
        HWL_ERROR error;
    };
    const Expected expected[] = {
        {1, "USB-1 [1-1]", ListedKind::kRom, 0}, {3, "Busy", ListedKind::kInUse, 36},
        {4, "Owned", ListedKind::kInUse, 34},    {5, "Taken", ListedKind::kInUse, 85},
        {6, "Broken", ListedKind::kError, 87},   {7, "Garbage", ListedKind::kUnreadable, 0},
        {8, "Blank", ListedKind::kRom, 0},       {9, "Silent", ListedKind::kError, 86},
        {11, "", ListedKind::kError, 82},
    };
    ASSERT_EQ(cables.size(), std::size(expected));
    for (std::size_t i = 0; i < cables.size(); ++i) {
        SCOPED_TRACE(expected[i].number);
        EXPECT_EQ(cables[i].number, expected[i].number);
        EXPECT_EQ(cables[i].name, expected[i].name);
        EXPECT_EQ(cables[i].kind, expected[i].kind);
        EXPECT_EQ(cables[i].error, expected[i].error);
        EXPECT_TRUE(cables[i].updatable);
    }
    EXPECT_EQ(cables[0].rom.bytes[0], 0x10);
    EXPECT_EQ(cables[0].rom.bytes[255], 0x0F);
    EXPECT_TRUE(is_blank(cables[6].rom));

    // Nothing waited, so every lock could still have waited the whole budget.
    for (const std::string& line : fake_linkhub().log) {
        if (line.rfind("lock ", 0) == 0) {
            EXPECT_EQ(line.substr(line.rfind(' ')), " 1000") << line;
        }
    }
}

// Busy cables share one budget of lock waits: once it is spent the rest are tried at once, so
// that many of them still list within the completion's time.
TEST_F(CableList, BusyCablesShareOneWait) {
    for (const char* name : {"Busy-1", "Busy-2", "Busy-3", "Busy-4"}) {
        FakeCable& cable = add_cable(name);
        cable.lock_result = 36;
        cable.busy_waits = true;
    }
    add_cable("USB-1 [1-1]");
    int status = -1;
    std::vector<ListedCable> cables;
    list(status, cables);
    ASSERT_EQ(cables.size(), 5u);
    EXPECT_EQ(cables[3].kind, ListedKind::kInUse);
    EXPECT_EQ(cables[4].kind, ListedKind::kRom);
    std::vector<std::string> locks;
    for (const std::string& line : fake_linkhub().log) {
        if (line.rfind("lock ", 0) == 0) {
            locks.push_back(line);
        }
    }
    EXPECT_EQ(locks, (std::vector<std::string>{"lock Busy-1 1000", "lock Busy-2 0", "lock Busy-3 0",
                                               "lock Busy-4 0", "lock USB-1 [1-1] 0"}));
}

TEST_F(CableList, NothingToListEndsWithTwelve) {
    struct Case {
        const char* what;
        int cables;
        std::string err;
    };
    const Case cases[] = {
        {"no hardware", 0, "No JTAG hardware available\n"},
        {"none of this family", 2, "No suitable cables available\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset_fake_linkhub();
        for (int i = 0; i < c.cables; ++i) {
            add_cable("V" + std::to_string(i)).virtual_hw = 1;
        }
        int status = -1;
        std::vector<ListedCable> cables;
        EXPECT_EQ(list(status, cables), c.err);
        EXPECT_EQ(status, 12);
        EXPECT_TRUE(cables.empty());
    }
}

TEST_F(CableList, NamedCableIsNumberOne) {
    add_cable("USB-1 [1-1]");
    add_cable("USB-2 [1-2]").usable = 0;
    int status = -1;
    std::vector<ListedCable> cables;
    EXPECT_EQ(list(status, cables, "USB-2 [1-2]"), "");
    EXPECT_EQ(status, 0);
    ASSERT_EQ(cables.size(), 1u);
    EXPECT_EQ(cables[0].number, 1);
    EXPECT_EQ(cables[0].name, "USB-2 [1-2]");
    EXPECT_EQ(cables[0].kind, ListedKind::kRom);
    // Selection would pass it over, so it is not offered for an update.
    EXPECT_FALSE(cables[0].updatable);
    EXPECT_FALSE(offered_for_update("USB-2 [1-2]"));
    EXPECT_TRUE(offered_for_update("USB-1 [1-1]"));

    cables.clear();
    EXPECT_EQ(list(status, cables, "USB-9"), "Unable to find jtag cable \"USB-9\"\n");
    EXPECT_EQ(status, 12);
    EXPECT_TRUE(cables.empty());
}

}  // namespace
