// Shared objects loaded at run time (the codec library, plug-ins).
#pragma once
#include <string>

namespace platform {

// Loads Path with every symbol bound at once, kept private to the caller.
// Returns the handle, or null with the system's message in Error. With
// KeepMapped the object (and what it pulled in) stays mapped after
// DynUnload: the codec library's decoders keep process-lifetime blocks whose
// code must not vanish before the process ends.
void* DynLoad(const std::string& Path, std::string& Error, bool KeepMapped = false) noexcept;
// Address of an exported symbol, or null when the object has none.
void* DynSymbol(void* Handle, const char* Name) noexcept;
// Releases a handle from DynLoad. Null does nothing.
void DynUnload(void* Handle) noexcept;

} // namespace platform
