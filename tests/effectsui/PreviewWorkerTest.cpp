#include "UiTestApp.h"

#include "core/Global.h"
#include "effects/ui/PreviewBaseFrm.h"
#include "effects/ui/PreviewFrm.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// What the dialog asks of its worker, and what the worker took.
struct TFillValues {
    std::atomic<int> Value{0};
    std::atomic<int> Taken{0};
    std::atomic<int> Delay{30}; // milliseconds per computation
};

// Fills the picture with the dialog's value, slowly.
class TFillWorker : public TCustomPreviewThread {
public:
    TFillWorker(TPreviewBaseForm* D, TFillValues& V, TMultiThread* M, TResizer* R)
        : TCustomPreviewThread(D, M, R), Asked(V)
    {
    }
    ~TFillWorker() override { Stop(); }

protected:
    void ReadParams() override { Value = Asked.Value, ++Asked.Taken; }
    void ApplyEffect(TImgInfo& I, TMultiThread&) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(Asked.Delay.load()));
        std::memset(I.Mem, Value, uint64_t(I.Bpl) * I.Height);
    }

private:
    TFillValues& Asked;
    int Value = 0;
};

class TFillSpot : public TCustomSpotPreviewThread {
public:
    using TCustomSpotPreviewThread::TCustomSpotPreviewThread;
    ~TFillSpot() override { Stop(); }

protected:
    void ReadParams() override { }
    void ApplyEffect(TImgInfo&, TMultiThread&) override { }
};

class TTestDialog : public TPreviewBaseForm, public TFillValues {
public:
    std::vector<int> Delivered;

    TTestDialog()
    {
        AllocImg(Master, 64, 48, 3);
        CopyImgInfo(Master, Src);
        FitPreviewImages();
        CopyImgInfo(Src, Dest);
    }
    void Request() { RequestPreview(); }

    using TPreviewBaseForm::UpdatePreview;
    void UpdatePreview(const TImgInfo& I) override
    {
        Delivered.push_back(I.Mem[0]);
        TPreviewBaseForm::UpdatePreview(I);
    }
    void UpdateAllPreview(const TImgInfo& I) override
    {
        Delivered.push_back(I.Mem[0]);
        TPreviewBaseForm::UpdateAllPreview(I);
    }

protected:
    void PreviewClosed(QObject*) override { }
    uint32_t GetEffectID() override { return 256; }
    void RequestPreview() override { StartPreviewWork(); }
    bool IsPreviewChecked() override { return true; }
    bool IsHistogramChecked() override { return false; }
    TCustomPreviewThread* CreatePreviewThread(TMultiThread* M, TResizer* R) override
    {
        return new TFillWorker(this, *this, M, R);
    }
    TCustomSpotPreviewThread* CreateSpotPreviewThread(TMultiThread* M) override { return new TFillSpot(this, M); }
};

} // namespace

TEST(PreviewWorker, QuickRequestsDeliverOnlyTheNewestValues)
{
    TestApp();
    for (int Mode : {0, 1}) { // fit view (scaled result), then 100 per cent (full result)
        Settings.Preview.ViewMode = Mode;
        TTestDialog D;
        D.Value = 1;
        D.Request();
        // The worker has taken the first request and is computing it...
        ASSERT_TRUE(PumpUntil([&] { return D.Taken == 1; }));
        // ...when two more come in.
        for (int V : {2, 3})
            D.Value = V, D.Request();
        ASSERT_TRUE(PumpUntil([&] { return !D.Delivered.empty(); }));
        PumpUntil([] { return false; }, 150); // anything else that was going to come
        for (int V : D.Delivered)
            EXPECT_EQ(V, 3) << "a stale result was shown, view mode " << Mode;
        const TImgInfo& Shown = Mode == 0 ? D.Dest2 : D.Dest;
        EXPECT_EQ(Shown.Mem[0], 3);
        EXPECT_EQ(MemRow(Shown, Shown.Height - 1)[3 * Shown.Width - 1], 3);
        if (Mode == 0) {
            EXPECT_EQ(std::make_pair(D.Dest2.Width, D.Dest2.Height), std::make_pair(D.Src2.Width, D.Src2.Height));
        }
    }
    Settings.Preview.ViewMode = 1;
}

TEST(PreviewWorker, ClosingTheDialogWhileAWorkerRunsNeitherHangsNorCrashes)
{
    TestApp();
    Settings.Preview.ViewMode = 1;
    // Worker in the middle of a computation.
    {
        auto* D = new TTestDialog;
        D->Delay = 200;
        D->Request();
        ASSERT_TRUE(PumpUntil([&] { return D->Taken == 1; }));
        const auto T0 = std::chrono::steady_clock::now();
        delete D;
        EXPECT_LT(std::chrono::steady_clock::now() - T0, std::chrono::seconds(3));
    }
    // Worker waiting for the GUI thread to take its request (its call is
    // still queued when the dialog goes), with the spot worker beside it.
    {
        auto* D = new TTestDialog;
        D->Request();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        delete D;
        PumpUntil([] { return false; }, 100); // the queued calls must come to nothing
    }
    // Stopping and restarting on a view change while a request is pending:
    // the new view gets the newest values without being asked again.
    {
        TTestDialog D;
        D.Value = 7;
        D.Request();
        PreviewWindows.PreviewForm->SetViewMode(0);
        D.PreviewViewModeChanged();
        ASSERT_TRUE(PumpUntil([&] { return !D.Delivered.empty(); }));
        EXPECT_EQ(D.Dest2.Mem[0], 7);
    }
    EXPECT_EQ(PreviewWindows.PreviewForm, nullptr);
}

TEST(PreviewImages, CropAndPasteStayInsideThePicture)
{
    TImgInfo Src;
    AllocImg(Src, 10, 8, 3);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 30; ++x)
            MemRow(Src, y)[x] = uint8_t(y * 30 + x);
    // Memory rows 2..5 and columns 3..6; the part beyond the picture is cut off.
    TImgInfo Part;
    CropImgInfo(Src, Part, TRect{3, 2, 14, 5});
    ASSERT_EQ(std::make_pair(Part.Width, Part.Height), std::make_pair(7u, 3u));
    EXPECT_EQ(MemRow(Part, 0)[0], 2 * 30 + 9);
    EXPECT_EQ(MemRow(Part, 2)[20], 4 * 30 + 29);
    TImgInfo Empty;
    CropImgInfo(Src, Empty, TRect{12, 0, 20, 8});
    EXPECT_EQ(Empty.Mem, nullptr);

    // A spot pasted near the corner writes only what fits.
    {
        TTestDialog D;
        FreeImg(D.Dest);
        CopyImgInfo(Src, D.Dest);
        TImgInfo Spot;
        AllocImg(Spot, 4, 4, 3);
        std::memset(Spot.Mem, 0xEE, uint64_t(Spot.Bpl) * 4);
        D.UpdatePreview(Spot, TRect{8, 6, 12, 10});
        EXPECT_EQ(MemRow(D.Dest, 7)[29], 0xEE);
        EXPECT_EQ(MemRow(D.Dest, 7)[23], 7 * 30 + 23);
        EXPECT_EQ(MemRow(D.Dest, 5)[29], 5 * 30 + 29);
        FreeImg(Spot);
    }
    FreeImg(Part);
    FreeImg(Src);
}
