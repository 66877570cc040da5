#pragma once

// Resource identifiers of vexa_update.exe, shared by the resource script and the code.

// The program's icon; the lowest icon identifier is the one Explorer shows for the file.
#define IDI_VEXA_UPDATE 1
// The USB plug picture of the window's header band.
#define IDB_IMAGE1 101
