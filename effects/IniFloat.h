// Floating-point values in effect settings sections.
//
// Written in the shortest form that reads back to the same double, with a
// point as the decimal separator whatever the locale ("1", "0.2", "1.15",
// "1.2345678e-07"); a whole number keeps the look of one ("1000000", not
// "1e+06"). Read back with either a
// point or a comma as separator (files written under a comma locale hold
// "1,5"); blanks around the number are ignored. Anything else, including
// infinities and NaN, gives the default.
#pragma once
#include <string>
#include <string_view>

class TMemIniFile;

double ReadIniFloat(const TMemIniFile& Ini, std::string_view Section, std::string_view Ident, double Default);
// Value as WriteIniFloat writes it.
std::string IniFloatText(double Value);
void WriteIniFloat(TMemIniFile& Ini, std::string_view Section, std::string_view Ident, double Value);
