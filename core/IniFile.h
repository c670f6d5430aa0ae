// Settings files and other ini-form text files, held in memory.
//
// The file is read once when the object is made and written back whole by
// UpdateFile. Reading accepts UTF-16 (either byte order) or UTF-8 with a
// byte-order mark, and BOM-less UTF-8 (a BOM-less file that is not valid UTF-8
// is taken as Latin-1). Writing always produces UTF-16LE with a BOM and CR LF
// line ends, through a temporary file renamed into place.
//
// Section and key names are compared without regard to ASCII letter case;
// a section is found by its name in constant time, so that a file of many
// sections loads in a time that grows with its length. Sections, keys and
// comment lines ("; ...") that nobody asks for are kept in their order; a new
// section goes to the end, a new key to the end of its section. Values are kept exactly as they stand after the "="; a
// value cannot hold a line break, so CR and LF in written names and values become blanks. Strings are UTF-8. One object
// is used by one thread at a time.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Errors.h"

// Raised by UpdateFile when the file would be larger than a settings file may
// be (see TMemIniFile): nothing is written, and trying again cannot help.
class EIniFileTooLarge : public EVestroError {
public:
    using EVestroError::EVestroError;
};

class TMemIniFile {
public:
    // Reads FileName when it exists; a missing file gives an empty object.
    // Throws EVestroError when the file exists but cannot be read or is
    // larger than 64 MiB.
    explicit TMemIniFile(std::string FileName);

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(std::string_view Section, std::string_view Ident, std::string_view Default) const;
    // Decimal with optional sign, or hexadecimal after "$" or "0x"; blanks
    // around the number are ignored; anything else, or a value outside the
    // 32-bit range, gives Default.
    int32_t ReadInteger(std::string_view Section, std::string_view Ident, int32_t Default) const;
    // True for any non-zero integer, false for 0; Default when not an integer.
    bool ReadBool(std::string_view Section, std::string_view Ident, bool Default) const;

    void WriteString(std::string_view Section, std::string_view Ident, std::string_view Value);
    void WriteInteger(std::string_view Section, std::string_view Ident, int32_t Value);
    void WriteBool(std::string_view Section, std::string_view Ident, bool Value); // "1" or "0"

    // Removes every entry of Ident in Section; nothing when absent.
    void DeleteKey(std::string_view Section, std::string_view Ident);
    bool SectionExists(std::string_view Section) const;
    bool ValueExists(std::string_view Section, std::string_view Ident) const;
    // Key names of Section in file order (empty when the section is absent).
    std::vector<std::string> ReadSection(std::string_view Section) const;

    // Writes the whole content to FileName (see above). Throws EVestroError
    // with the reason when it cannot, and EIniFileTooLarge, before anything
    // is written, when the file would be larger than 64 MiB (which the
    // reader would refuse); the file on disk is then unchanged.
    void UpdateFile() const;

    // The content in file form, lines joined by CR LF, UTF-8.
    std::string GetText() const;

private:
    struct TEntry {
        std::string Key;   // empty for a kept comment line
        std::string Value; // the value, or the whole comment line
    };
    struct TSection {
        std::string Name;
        std::vector<TEntry> Entries;
    };

    void Parse(const std::string& Text);
    const TSection* FindSection(std::string_view Name) const;
    TSection* FindSection(std::string_view Name);
    TSection& AddSection(std::string Name);
    const TEntry* FindEntry(std::string_view Section, std::string_view Ident) const;

    std::string FFileName;
    std::vector<std::string> FPreamble; // comment lines before the first section
    std::vector<TSection> FSections;
    // Index into FSections by the name in ASCII lower case.
    std::unordered_map<std::string, size_t> FSectionIndex;
};
