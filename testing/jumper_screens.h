// The jumper screens as cablewright draws them, up to the prompt (no line end after it), written
// out once for every test that expects them.
#pragma once

inline constexpr char kReprogramJumperScreen[] =
    "Please change daughter card jumpers to select reprogram mode:\n"
    "\n"
    "        (outside edge of board)\n"
    "---------------------------------------+\n"
    " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
    " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
    "                                       |\n"
    "             on               on       |\n"
    "      +=======+        +=======+       |\n"
    "    1 |    ###|      1 |    ###|       |\n"
    "    2 |    ###|      2 |    ###|       |\n"
    "    3 |    ###|      3 |    ###|       |\n"
    "    4 |###    |      4 |    ###|       |\n"
    "      +=======+        +=======+       |\n"
    "         S2                S1          |\n"
    "---------------------------------------+\n"
    "        (inside edge of board)\n"
    "\n"
    "Press ENTER when ready:";

inline constexpr char kNormalJumperScreen[] =
    "Please change daughter card jumpers to select normal mode:\n"
    "\n"
    "        (outside edge of board)\n"
    "---------------------------------------+\n"
    " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
    " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
    "                                       |\n"
    "             on               on       |\n"
    "      +=======+        +=======+       |\n"
    "    1 |    ###|      1 |###    |       |\n"
    "    2 |###    |      2 |###    |       |\n"
    "    3 |###    |      3 |###    |       |\n"
    "    4 |###    |      4 |###    |       |\n"
    "      +=======+        +=======+       |\n"
    "         S2                S1          |\n"
    "---------------------------------------+\n"
    "        (inside edge of board)\n"
    "\n"
    "Press ENTER when ready:";
