// Seed files for the codec fuzz target (KodexFuzzSeeds.cpp says which).
#pragma once
#include <string>

// Writes the seeds into Folder (which must exist), one file each.
void MakeFuzzSeeds(const std::string& Folder);
