// The earliest start-up: program and temporary folders, the settings file
// named on the command line, and the values read from it before the settings
// loader runs ([System] MemReserve and Language).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Sets ExeDir (folder of the running executable) and TempDir ($TMPDIR when it
// names a folder, else /tmp), both ending in "/".
void InitStartupPaths();

// The settings file: ExeDir + "ini/" + the program's file name with ".ini";
// each argument "/ini=NAME" (the switch in any letter case) replaces it by
// ExeDir + "ini/" + NAME, the last one winning. NAME is always relative to
// the ini folder; a NAME that is empty, names a folder or leads out of the
// ini folder is passed over (and appended to Ignored when given). Args are
// the command-line arguments without the program. Both the early read below
// and the settings loader take their file from here.
std::string GetSettingsFileName(const std::vector<std::string>& Args, std::vector<std::string>* Ignored = nullptr);
// Whether Arg is that switch ("/ini=" in any letter case, then the name).
bool IsProfileSwitch(const std::string& Arg);

// Reads [System] MemReserve and Language of the settings file into
// Settings.System (Language defaults to GetDefaultLanguage when absent or
// empty). Needs ExeDir. An unreadable file leaves the defaults. Reserving
// address space is pointless in a 64-bit process: MemReserve is only kept so
// that the settings file keeps it.
void InitMemReservoir(const std::vector<std::string>& Args);

// The interface language a start with Args speaks: [System] Language of its
// settings file, else GetDefaultLanguage (also when the file cannot be read).
std::string StartLanguage(const std::vector<std::string>& Args);

// Bytes of memory the system can give now (its available memory). Shown in
// the about box.
uint64_t GetMaxFreeBlockSize();

// The interface language of the user's locale (LC_ALL, LC_MESSAGES or LANG,
// the first one set): "de_DE.UTF-8" is tried as "de_DE", then as "de". The
// result names a catalogue under ExeDir + "locale/" (see FindCatalogue), or
// is "en" when none matches.
std::string GetDefaultLanguage();
