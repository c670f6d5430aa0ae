// The HEVC decoder that the codec library's HEIF reader registers keeps one
// block for the life of the process; that is its affair, not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libde265\n";
}
