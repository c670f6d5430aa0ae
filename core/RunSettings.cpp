#include "core/RunSettings.h"

TRunSettings TakeRunSettings()
{
    TRunSettings S;
    static_cast<TSettings&>(S) = Settings;
    return S;
}
