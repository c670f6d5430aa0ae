// The output-file-name rule: a path template with tokens in angle brackets.
//
// File-name tokens: <old> <ext> <ymd> <ymdhns> <yyyy> <yy> <mm> <dd> <hh> <nn>
// <ss> <dir> <pdir> <base> <resizemode> <n> <n1>..<n9> <c> <c1>..<c9>, and the
// start value <sN>, which ExtractStartNumber removes before expansion. Rules may
// be written with "\" as the folder separator; it reads as "/". A rule that is
// an absolute path (or uses <base>) ignores the output-folder settings.
//
// A run's name phase and its combine thread count the <c> tokens in counters
// of their own; the process-wide ones below serve the GUI thread's previews.
// Neither has a lock. ExpandTextTokens is pure.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "core/ImageInfo.h"

struct TResizeOption;
struct TRunSettings;

// Running number carried from one run to the next.
extern int32_t CurrentNumber;
// Per-folder counters of the <c> tokens: folder (ending in "/") -> last count.
using TFolderFileCounts = std::map<std::string, int32_t>;
// The GUI thread's counters (previews); a run counts in its own.
TFolderFileCounts& FolderFileCounts();
void ClearFolderFileCounts();

// Removes every start-number token from Rule and returns the start value: the
// last token's number (1 when it is not a number), or, without a token,
// [File] StartNumber when ResetType is 0, else CurrentNumber.
int32_t ExtractStartNumber(std::string& Rule);
// The same by a run's copy of the settings.
int32_t ExtractStartNumber(std::string& Rule, const TRunSettings& S);

// Whether S holds a control character (below U+0020, or U+007F). No setting
// used as a path may hold one: a NUL would cut the path short where the
// system takes it, and the others cannot be meant.
bool HasControlCharacter(std::string_view S);

// Expands Rule for one input. OutName becomes empty when the rule is invalid
// (a forbidden character * ? " > |, an unterminated or empty token, an unknown
// token), and when the rule or the output folder it is put in holds a control
// character (HasControlCharacter). An output extension is appended unless the
// rule ends in .bmp, .jpg, .jpeg or .png. Output folder, extensions and
// <resizemode> follow Settings.
void MakeOutputFileName(const std::string& Rule, const TImageInfo& Info, int32_t Number, std::string& OutName,
                        const TScale& Scale, const TRunSettings& Settings);
// The same counting <c> tokens in Counts (a run's own).
void MakeOutputFileName(const std::string& Rule, const TImageInfo& Info, int32_t Number, std::string& OutName,
                        const TScale& Scale, const TRunSettings& Settings, TFolderFileCounts& Counts);

// Text of the <resizemode> token, e.g. "Lanczos3_int", "None_float_degamma".
void ResizeModeText(const TImageInfo& Info, const TScale& Scale, std::string& S, const TResizeOption& R);

// 1 + the number of plain files already in Folder on the first call for it,
// then one more on each further call.
int32_t NextFolderFileCount(const std::string& Folder);
int32_t NextFolderFileCount(const std::string& Folder, TFolderFileCounts& Counts);

// Expands the add-text effect's tokens (<old> <new> <oldname> <newname> <ymd>
// <ymdhn> <ymdhns> date parts and <n>, <n1>..<n9>); any other token is written
// as its bare name. "/" and ":" in the date forms become the locale's
// separators. NewName and OldName are file names with extension. UTF-8.
void ExpandTextTokens(const std::string& Text, const std::string& NewName, const std::string& OldName, std::string& Out,
                      int32_t Number, TDateTime Date);
