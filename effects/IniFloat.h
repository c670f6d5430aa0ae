// Floating-point values in effect settings sections.
//
// Written in the shortest form that reads back to the same double, with a
// point as the decimal separator ("1", "0.2", "1.15"). Read back with either a
// point or a comma as separator (files written under a comma locale hold
// "1,5"); blanks around the number are ignored. Anything else, including
// infinities and NaN, gives the default.
#pragma once
#include <string_view>

class TMemIniFile;

double ReadIniFloat(const TMemIniFile& Ini, std::string_view Section, std::string_view Ident, double Default);
void WriteIniFloat(TMemIniFile& Ini, std::string_view Section, std::string_view Ident, double Value);
