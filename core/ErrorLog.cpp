#include "core/ErrorLog.h"

#include <algorithm>
#include <climits>
#include <cstddef>

TErrorLog ErrorLog;

namespace {
// The innermost capture of the calling thread.
TErrorCapture*& ThreadCapture()
{
    thread_local TErrorCapture* Capture = nullptr;
    return Capture;
}
} // namespace

TErrorCapture::TErrorCapture() : FOuter(ThreadCapture())
{
    ThreadCapture() = this;
}

TErrorCapture::~TErrorCapture()
{
    ThreadCapture() = FOuter;
}

TErrorCapture* TErrorCapture::Current()
{
    return ThreadCapture();
}

std::string TErrorCapture::Text() const
{
    std::string R;
    for (const TKept& K : FKept) {
        const std::string& S = K.Reason;
        if (S.empty() || R.find(S) != std::string::npos)
            continue; // a reason said twice is said once
        if (!R.empty())
            R += "; ";
        R += S;
    }
    return R;
}

std::string TErrorCapture::AddedTo(const std::string& Why) const
{
    const std::string More = Text();
    if (More.empty() || Why.find(More) != std::string::npos)
        return Why;
    return Why.empty() ? More : Why + "; " + More;
}

void TErrorCapture::Forward()
{
    std::vector<TKept> Kept = std::move(FKept);
    FKept.clear();
    // Lines go where they would have gone without this capture.
    TErrorCapture* Self = ThreadCapture();
    ThreadCapture() = FOuter;
    for (TKept& K : Kept)
        K.Log->Put(std::move(K.Line), K.Reason);
    ThreadCapture() = Self;
}

void TErrorLog::Put(std::string Line, const std::string& Reason)
{
    // One line per failure, whatever a file name holds: a line break or
    // another control character in a name would split it or garble a
    // terminal, so each shows as "?", as file listings show them.
    for (char& C : Line)
        if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F)
            C = '?';
    if (TErrorCapture* C = TErrorCapture::Current()) {
        C->FKept.push_back({this, std::move(Line), Reason});
        return;
    }
    const std::lock_guard<std::mutex> g(FLock);
    FLines.push_back(std::move(Line));
}

void TErrorLog::PutErrorMsg(const std::string& Msg)
{
    Put(Msg, Msg);
}

void TErrorLog::PutFileError(const std::string& FileName, const std::string& Reason)
{
    Put(FileName + ": " + Reason, Reason);
}

void TErrorLog::PutProbeError(const std::string& FileName, const std::string& Reason)
{
    Put(FileName + ":" + Reason, Reason);
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
    FFirst += FLines.size();
    FLines.clear();
}

std::vector<std::string> TErrorLog::LinesFrom(uint64_t& Next) const
{
    const std::lock_guard<std::mutex> g(FLock);
    const uint64_t From = std::max(Next, FFirst) - FFirst;
    Next = FFirst + FLines.size();
    if (From >= FLines.size())
        return {};
    return {FLines.begin() + ptrdiff_t(From), FLines.end()};
}

uint64_t TErrorLog::NextNumber() const
{
    const std::lock_guard<std::mutex> g(FLock);
    return FFirst + FLines.size();
}

void TErrorLog::ClearBefore(uint64_t Next)
{
    const std::lock_guard<std::mutex> g(FLock);
    if (Next <= FFirst)
        return;
    const uint64_t N = std::min<uint64_t>(Next - FFirst, FLines.size());
    FLines.erase(FLines.begin(), FLines.begin() + ptrdiff_t(N));
    FFirst += N;
}
