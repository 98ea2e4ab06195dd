// The standard streams as the run relies on them.
#pragma once

// Called first in main: each of descriptors 0, 1 and 2 that is closed is opened on the null
// device, so that no file opened later (by the client library, say) becomes a standard stream.
void open_missing_standard_streams();

// Flushes standard output; true when everything written to it so far arrived. Otherwise prints
// "Unable to write to standard output\n" to standard error and returns false.
bool standard_output_written();
