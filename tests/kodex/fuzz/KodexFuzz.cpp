// Fuzz target for the codec library's decoders (built only with BUILD_FUZZ,
// by clang; scripts/fuzz runs it). KodexFuzzTarget.h says how the first byte
// picks the decoder.
#include "KodexFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    static const TFuzzEntries entries{read_png, read_jpeg, read_wic, read_wic_thumbnail, read_wic_info};
    RunFuzzInput(entries, Data, Size);
    return 0;
}
