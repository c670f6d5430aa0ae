#include "core/Global.h"

TSettings Settings;
TStartup Startup;

const std::array<const char*, 5> OutputExt = {"???", ".bmp", ".jpg", ".png", ".gif"};
