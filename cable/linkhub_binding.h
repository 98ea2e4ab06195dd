// Making the client library's functions callable by the program.
#pragma once

// Windows: loads linkhub_client.dll by full path from trusted folders only (never the working
// folder, where users keep their files) and binds its eight functions; false, after printing
// "Unable to load linkhub_client.dll\n", when it is missing or incomplete. Elsewhere the system
// loader has already done it: always true.
bool bind_linkhub_client();
