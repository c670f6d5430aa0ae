// The program's exceptions. Readers and writers raise them with the translated
// message; a batch worker catches them per file and logs "name: reason".
#pragma once
#include <stdexcept>
#include <string>

// Every failure the program reports to the user.
class EVestroError : public std::runtime_error {
public:
    explicit EVestroError(const std::string& Msg) : std::runtime_error(Msg) { }
};

// A pixel block or work buffer could not be had. Workers report it like any
// other failure.
class EOutOfMemory : public EVestroError {
public:
    EOutOfMemory() : EVestroError("Out of memory") { }
};
