// JPEG XR pictures (.jxr, .hdp, .wdp). The codec runs in a program of its
// own (kodex/helper), started for each picture beside this library; this side
// checks what it hands back and makes the picture of it.
#include "kodex/KodexCommon.h"
#include "kodex/KodexJxrReply.h"
#include "platform/Isolated.h"

#include <functional>
#include <string>
#include <vector>

namespace kodex {

bool IsJXR(const uint8_t* D, size_t N)
{
    // "II", 0xBC, then the format version (0 or 1).
    return N >= 4 && D[0] == 'I' && D[1] == 'I' && D[2] == 0xBC && D[3] <= 1;
}

namespace {

// Runs the decoding program on the file (the codec crashes on some damaged
// files) and takes its reply; Got receives what arrived after the reply.
// False after reporting.
bool RunJxrChild(const uint8_t* Data, size_t Size, bool HeaderOnly, TJxrReply& Reply,
                 const std::function<bool(int Fd)>& Got)
{
    bool reported = false;
    const std::vector<std::string> args{HeaderOnly ? "info" : "decode", std::to_string(PictureBudget()), "300"};
    const bool ok = platform::RunHelper(kJxrDecoder, args, Data, Size, [&](int Fd) {
        if (!ReadAll(Fd, &Reply, sizeof Reply))
            return false;
        if (Reply.Status != 0) {
            Reply.Message[sizeof Reply.Message - 1] = 0;
            if (!HeaderOnly)
                ReportError("", "%s", Reply.Message);
            reported = true;
            return false;
        }
        return Got(Fd);
    });
    if (!ok && !reported && !HeaderOnly)
        ReportError("", "The JPEG XR data is damaged");
    return ok;
}

} // namespace

bool JxrInfo(const uint8_t* Data, size_t Size, TKodexInfo& Info)
{
    TJxrReply reply{};
    if (!RunJxrChild(Data, Size, true, reply, [](int) { return true; }))
        return false;
    Info.Width = reply.Width;
    Info.Height = reply.Height;
    if (reply.XResolution > 0 && reply.YResolution > 0) {
        Info.XResolution = reply.XResolution;
        Info.YResolution = reply.YResolution;
    }
    return true;
}

bool DecodeJXR(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC)
{
    TJxrReply reply{};
    const bool ok = RunJxrChild(Data, Size, false, reply, [&](int Fd) {
        if (!SizeAcceptable(reply.Width, reply.Height) ||
            (reply.Channels != 1 && reply.Channels != 3 && reply.Channels != 4) || reply.IccLen >= (1u << 24) ||
            !NewImage(Img, reply.Width, reply.Height, reply.Channels))
            return false;
        const size_t n = size_t(reply.Width) * reply.Channels;
        for (uint32_t y = 0; y < reply.Height; ++y)
            if (!ReadAll(Fd, ScanLine(Img, y), n))
                return false;
        std::vector<uint8_t> icc(reply.IccLen);
        if (!ReadAll(Fd, icc.data(), icc.size()))
            return false;
        if (ICC && !icc.empty())
            StoreICC(ICC, icc.data(), icc.size(), "ICC Profile");
        return true;
    });
    if (!ok)
        FreeImg(Img);
    return ok;
}

} // namespace kodex
