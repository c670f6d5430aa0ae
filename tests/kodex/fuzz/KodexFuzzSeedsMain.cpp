// Writes the codec fuzz target's seeds into the folder named by the only
// argument (scripts/fuzz runs it).
#include "KodexFuzzSeeds.h"

#include <cstdio>

int main(int Argc, char** Argv)
{
    if (Argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", Argv[0]);
        return 2;
    }
    MakeFuzzSeeds(Argv[1]);
    return 0;
}
