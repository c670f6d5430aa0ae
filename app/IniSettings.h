// The settings file: every option record read from and written to one ini file
// (the default file in the ini folder, or a profile).
//
// Every key is one row of a table (IniKeys): section, key, the field it fills,
// its default, its correction. The loader walks the table into the
// process-wide records of core/Global.h, applies the few rules that join keys,
// and sets up what depends on them (run mode, plug-ins, the shared resizers'
// filters and thread counts). The writers
// open the existing file first (whatever its encoding), change only their own
// keys, and replace the file through a temporary file: unknown sections, keys
// and comments survive. Nothing here opens a window; the one question (retry a
// failed save) goes through SaveRetryQuestion.
#pragma once
#include "app/Startup.h"
#include "app/IniKeys.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMemIniFile;
class TSPIList;

// Whether a font family exists (null: every name is taken as installed).
extern std::function<bool(const std::string& Family)> FontInstalled;

// Every key of the settings file, in the full writer's order. One row has no
// section: the place of the effects' own sections.
const std::vector<TIniKey>& IniKeys();

// Reads FileName into the records (a missing or unreadable file gives the
// defaults) and sets IniFileName := FileName, RunMode, the plug-ins, the
// shared resizers' filters and thread counts. Returns why the file could not
// be read (also said on standard error); empty when it was read or is missing.
std::string LoadIniFile(const std::string& FileName);

// Writes every section of the records into FileName (see the module comment).
// Returns false when the save was given up (the retry question answered
// Cancel); the old file is then as it was.
bool SaveIniFile(const std::string& FileName);

// Writes only [File] StartNumber.
bool SaveIniFile2(const std::string& FileName);

// The save retry rule: Attempt is called until it does not throw. Failures 1
// to 20 wait 50 ms silently; from the 21st on, SaveRetryQuestion is asked with
// the error's message (true: retry after 50 ms, false: give up). With no
// question set (no display), the save is given up after the silent retries
// and the reason goes to standard error. A file that would be too large to be
// read again (EIniFileTooLarge) is not retried: SaveFailedNotice is told why
// (standard error when unset), and the save is given up. Returns true when
// Attempt succeeded.
bool RunSaveWithRetry(const std::function<void()>& Attempt);
extern std::function<bool(const std::string& Message)> SaveRetryQuestion;
extern std::function<void(const std::string& Message)> SaveFailedNotice;

// Size1 / Size2 comma lists: item i is a number with "." or the locale's
// decimal separator; a missing or damaged item takes Builtin[i], and so does
// an item at or below 0 where Builtin[i] is above 0 (a side the rule uses).
std::array<double, 12> ParseSizeList(const std::string& Text, const std::array<double, 12>& Builtin);
// Written with "." whatever the locale, each item in the shortest form that
// reads back the same (IniFloatText).
std::string FormatSizeList(const std::array<double, 12>& Values);

// The sizes of the interface font in points that the settings dialog takes
// from the font dialog (beyond them the main window's rows and panels cannot
// hold their text); the loader takes P_FontSize into them.
inline constexpr int32_t MinUIFontSize = 6;
inline constexpr int32_t MaxUIFontSize = 14;

// Built-in values of the size rules (a damaged Size1 / Size2 item).
extern const std::array<double, 12> BuiltinSize1;
extern const std::array<double, 12> BuiltinSize2;
