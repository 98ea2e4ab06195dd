// Starting a Windows child that inherits a chosen few of this program's handles and no other.
#pragma once

#include <windows.h>

#include <vector>

// Marks handles inheritable and sets up startup's attribute list, kept in storage, so that a
// child started with it (bInheritHandles TRUE, EXTENDED_STARTUPINFO_PRESENT) inherits them alone.
// handles and storage must live until CreateProcess returns; the caller then deletes the list
// with DeleteProcThreadAttributeList. False, with no list to delete, when it cannot be set up.
bool list_inherited_handles(std::vector<HANDLE>& handles, STARTUPINFOEXA& startup,
                            std::vector<char>& storage);
