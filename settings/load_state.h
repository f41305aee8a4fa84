// What the last load could take in, which every save respects: a file that could not be read
// whole keeps its [hotkeys], or its flag, as they are. Shared by the load and the save alone.
#pragma once

// Set when the stored bindings could not all be taken into the table (the file could not be
// read, or no memory): the save then leaves the file's [hotkeys] as they are rather than
// replacing them with the part that loaded.
extern bool bindingsIncomplete;
// Set when the file exists but could not be read: the stored flag stays as it is too.
extern bool flagNotLoaded;
// Set while the file holds the live table's bindings as far as a save knows.
extern bool tableInFile;
