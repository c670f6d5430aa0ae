#include "core/ErrorLog.h"

#include <climits>

TErrorLog ErrorLog;

void TErrorLog::PutErrorMsg(const std::string& Msg)
{
    const std::lock_guard<std::mutex> g(FLock);
    FLines.push_back(Msg);
}

void TErrorLog::PutFileError(const std::string& FileName, const std::string& Reason)
{
    PutErrorMsg(FileName + ": " + Reason);
}

void TErrorLog::PutProbeError(const std::string& FileName, const std::string& Reason)
{
    PutErrorMsg(FileName + ":" + Reason);
}

int32_t TErrorLog::GetErrorCount() const
{
    const std::lock_guard<std::mutex> g(FLock);
    return FLines.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(FLines.size());
}

std::vector<std::string> TErrorLog::Lines() const
{
    const std::lock_guard<std::mutex> g(FLock);
    return FLines;
}

void TErrorLog::Clear()
{
    const std::lock_guard<std::mutex> g(FLock);
    FLines.clear();
}
