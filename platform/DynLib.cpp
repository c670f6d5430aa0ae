#include "platform/DynLib.h"

#include <dlfcn.h>

namespace platform {

void* DynLoad(const std::string& Path, std::string& Error, bool KeepMapped) noexcept
{
    dlerror();
    void* h = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL | (KeepMapped ? RTLD_NODELETE : 0));
    if (!h) {
        const char* e = dlerror();
        try {
            Error = e ? e : "cannot load " + Path;
        } catch (...) {
        }
    }
    return h;
}

void* DynSymbol(void* Handle, const char* Name) noexcept
{
    return Handle ? dlsym(Handle, Name) : nullptr;
}

void DynUnload(void* Handle) noexcept
{
    if (Handle)
        dlclose(Handle);
}

} // namespace platform
