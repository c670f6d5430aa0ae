// Date and time separators of the user's regional settings (LC_TIME of the
// process locale, as the program set it at start-up).
#pragma once
#include <string>

namespace platform {

// The first separator of the locale's date format ("/" for 12/31/99, "." for
// 31.12.99); "/" when the format has none.
std::string DateSeparator();
// The same for the time format; ":" when it has none.
std::string TimeSeparator();

} // namespace platform
