// Shared objects loaded at run time (the codec library, plug-ins).
#pragma once
#include <string>

namespace platform {

// Loads Path with every symbol bound at once, kept private to the caller.
// Returns the handle, or null with the system's message in Error.
void* DynLoad(const std::string& Path, std::string& Error) noexcept;
// Address of an exported symbol, or null when the object has none.
void* DynSymbol(void* Handle, const char* Name) noexcept;
// Releases a handle from DynLoad. Null does nothing.
void DynUnload(void* Handle) noexcept;

} // namespace platform
