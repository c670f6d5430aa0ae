// Message catalogues through the C library's gettext.
//
// Catalogues live in LocaleDir/LANG/LC_MESSAGES/DOMAIN.mo. The language is
// switched at run time through the LANGUAGE variable, which the C library
// honours only while the message locale is not plain "C": the selection
// therefore also sets the message locale to the user's locale, or to C.UTF-8
// when the user's locale is "C" or not installed.
#pragma once
#include <string>

namespace platform {

// Points Domain at LocaleDir; translations come back in UTF-8 whatever the
// locale's character set.
void IntlBindDomain(const char* Domain, const std::string& LocaleDir);

// Makes Language ("de", "ja", "de_DE"; a gettext language list is not accepted)
// the language of every later lookup. Changes the environment: call it on one
// thread while no other thread reads the environment or looks up texts.
void IntlSelectLanguage(const std::string& Language);

// Translation of MsgId in Domain, or MsgId itself when the current catalogue
// has none. MsgId must not be empty. Safe on any thread.
std::string IntlTranslate(const char* Domain, const char* MsgId);

} // namespace platform
