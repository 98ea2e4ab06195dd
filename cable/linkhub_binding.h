// Making the client library's functions callable by the program: it is loaded at run time, only
// when a run needs a cable, and only from folders a user's files cannot stand in for.
#pragma once

// Loads the client library and binds its eight functions; false, after printing "Unable to load
// <library file>\n", when no trusted folder has a loadable library with all of them. Until it
// succeeds no hwl_ function may be called.
bool bind_linkhub_client();
