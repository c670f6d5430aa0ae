// The system font library keeps a cache for the life of the process, which the
// leak checker of sanitizer builds reports at exit. Not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
