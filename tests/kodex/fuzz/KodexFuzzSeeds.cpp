// Small seed files for the codec fuzz target, each prefixed with the selector
// byte of the entry it is meant for (KodexFuzzTarget.h): PNG (RGB, 16-bit gray
// with alpha, palette with transparency), JPEG (baseline, progressive, gray;
// plain and scaled to YCbCr), TIFF of several layouts and codings, GIF (plain
// and interlaced with a transparent colour), WebP (lossy, lossless, alpha with
// profile and EXIF, animation), HEIF/AVIF where this libheif build can encode
// them (and their thumbnails), and every one of them once more through the
// header probe.
#include "KodexFuzzSeeds.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

std::string Out;

// Selector bytes of the fuzz target (KodexFuzzTarget.h).
enum : uint8_t {
    kPng = 0,
    kPngFlatten = 0x80,
    kJpeg = 1,
    kJpegHalfYCbCr = 0x15,
    kWic = 2,
    kWicThumbnail = 0x42,
    kProbe = 0x22
};

void Save(const std::string& Name, const uint8_t* Data, size_t Size, uint8_t Selector = kWic)
{
    std::ofstream f(Out + "/" + Name, std::ios::binary);
    f.put(char(Selector));
    f.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
}

std::vector<uint8_t> Slurp(const std::string& Path)
{
    std::ifstream f(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Saves what a library wrote to Out/tmp (then removed) as seed Name.
void SaveTmp(const std::string& Name, uint8_t Selector = kWic)
{
    const std::vector<uint8_t> d = Slurp(Out + "/tmp");
    std::remove((Out + "/tmp").c_str());
    Save(Name, d.data(), d.size(), Selector);
}

// N bytes of a pattern whose neighbours differ.
std::vector<uint8_t> Pattern(size_t N, unsigned Mul)
{
    std::vector<uint8_t> v(N);
    for (size_t i = 0; i < N; ++i)
        v[i] = uint8_t(i * Mul + i / 13);
    return v;
}

struct TTiffSpec {
    const char* Name;
    uint32_t W, H;
    uint16_t Spp, Bits, Photometric, Compression, Planar;
    bool Tiled;
    uint16_t ExtraKind; // one extra sample of that kind, or none when 0
};

void Tiff(const TTiffSpec& S)
{
    TIFF* t = TIFFOpen((Out + "/tmp").c_str(), "w");
    if (!t)
        return;
    const uint32_t fields[][2] = {
        {TIFFTAG_IMAGEWIDTH, S.W},
        {TIFFTAG_IMAGELENGTH, S.H},
        {TIFFTAG_BITSPERSAMPLE, S.Bits},
        {TIFFTAG_SAMPLESPERPIXEL, S.Spp},
        {TIFFTAG_PHOTOMETRIC, S.Photometric},
        {TIFFTAG_PLANARCONFIG, S.Planar},
        {TIFFTAG_COMPRESSION, S.Compression},
        {TIFFTAG_ORIENTATION, uint32_t(S.Tiled ? ORIENTATION_BOTRIGHT : ORIENTATION_TOPLEFT)}};
    for (const auto& f : fields)
        TIFFSetField(t, f[0], f[1]);
    if (S.ExtraKind)
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &S.ExtraKind);
    static uint16_t map[3][256];
    for (int i = 0; i < 256; ++i)
        map[0][i] = uint16_t(i * 257), map[1][i] = uint16_t((255 - i) * 257), map[2][i] = uint16_t(i * 100);
    if (S.Photometric == PHOTOMETRIC_PALETTE)
        TIFFSetField(t, TIFFTAG_COLORMAP, map[0], map[1], map[2]);
    std::vector<uint8_t> buf = Pattern(1 << 16, 7);
    const uint16_t planes = S.Planar == PLANARCONFIG_SEPARATE ? S.Spp : 1;
    TIFFSetField(t, S.Tiled ? TIFFTAG_TILEWIDTH : TIFFTAG_ROWSPERSTRIP, S.Tiled ? 16 : 4);
    if (S.Tiled)
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    for (uint16_t p = 0; p < planes; ++p)
        for (uint32_t y = 0; y < S.H; y += S.Tiled ? 16 : 1)
            for (uint32_t x = 0; x < (S.Tiled ? S.W : 1); x += 16)
                S.Tiled ? void(TIFFWriteTile(t, buf.data(), x, y, 0, p))
                        : void(TIFFWriteScanline(t, buf.data() + y * 3, y, p));
    TIFFClose(t);
    SaveTmp(std::string("tiff-") + S.Name);
}

void Gif(const char* Name, int W, int H, bool Interlace, int Transparent)
{
    int err = 0;
    GifFileType* g = EGifOpenFileName((Out + "/tmp").c_str(), false, &err);
    if (!g)
        return;
    GifColorType cols[16];
    for (int i = 0; i < 16; ++i)
        cols[i] = {uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 5)};
    ColorMapObject* map = GifMakeMapObject(16, cols);
    EGifPutScreenDesc(g, W + 2, H + 1, 4, 0, map);
    const GifByteType gce[4] = {1, 0, 0, GifByteType(Transparent)}; // a transparent colour
    if (Transparent >= 0)
        EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, gce);
    EGifPutImageDesc(g, 1, 1, W, H, Interlace, Interlace ? map : nullptr);
    std::vector<GifPixelType> line(static_cast<size_t>(W));
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x)
            line[size_t(x)] = GifPixelType((x * 3 + y) & 15);
        EGifPutLine(g, line.data(), W);
    }
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    SaveTmp(std::string("gif-") + Name);
}

// Assembles M into seed Name and frees it.
void SaveMux(const char* Name, WebPMux* M)
{
    WebPData all{};
    if (WebPMuxAssemble(M, &all) == WEBP_MUX_OK)
        Save(Name, all.bytes, all.size);
    WebPDataClear(&all);
    WebPMuxDelete(M);
}

void WebP()
{
    const std::vector<uint8_t> px = Pattern(16 * 12 * 4, 13);
    uint8_t* o = nullptr;
    size_t n = WebPEncodeBGR(px.data(), 16, 12, 48, 80, &o);
    Save("webp-lossy", o, n);
    WebPFree(o);
    // Alpha with a profile and an EXIF block (orientation 6).
    n = WebPEncodeBGRA(px.data(), 16, 12, 64, 70, &o);
    WebPMux* mux = WebPMuxNew();
    const WebPData img{o, n};
    WebPMuxSetImage(mux, &img, 1);
    const std::vector<uint8_t> prof(200, 0);
    static const uint8_t exif[] = {'E', 'x',  'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                   1,   0x12, 0,   3,   0, 0, 0,   1,   0, 6,  0, 0, 0, 0, 0, 0};
    const WebPData icc{prof.data(), prof.size()}, ex{exif, sizeof exif};
    WebPMuxSetChunk(mux, "ICCP", &icc, 1);
    WebPMuxSetChunk(mux, "EXIF", &ex, 1);
    SaveMux("webp-meta", mux);
    WebPFree(o);
    // Lossless, alone and as two frames of an animation, the second moved.
    n = WebPEncodeLosslessBGRA(px.data(), 16, 12, 64, &o);
    Save("webp-lossless", o, n);
    WebPMux* anim = WebPMuxNew();
    WebPMuxFrameInfo frame{};
    frame.bitstream = {o, n}, frame.id = WEBP_CHUNK_ANMF, frame.duration = 100;
    WebPMuxPushFrame(anim, &frame, 1);
    frame.x_offset = frame.y_offset = 2;
    WebPMuxPushFrame(anim, &frame, 1);
    const WebPMuxAnimParams params{0xFFFFFFFF, 0};
    WebPMuxSetAnimationParams(anim, &params);
    WebPMuxSetCanvasSize(anim, 18, 14);
    SaveMux("webp-anim", anim);
    WebPFree(o);
}

void Heif(heif_compression_format Fmt, bool Alpha)
{
    const std::string name =
        std::string("heif-") + (Fmt == heif_compression_HEVC ? "hevc" : "av1") + (Alpha ? "-alpha" : "");
    if (!EncodeTurnedHeif(Out + "/tmp", Fmt, Alpha))
        return;
    const std::vector<uint8_t> d = Slurp(Out + "/tmp");
    Save(name + "-thumb", d.data(), d.size(), kWicThumbnail);
    SaveTmp(name);
}

void Png(const char* Name, png_uint_32 W, png_uint_32 H, png_uint_32 Format, const void* Pixels, const void* Colormap,
         png_uint_32 Colors, uint8_t Selector)
{
    png_image im{};
    im.version = PNG_IMAGE_VERSION;
    im.width = W, im.height = H, im.format = Format, im.colormap_entries = Colors;
    std::vector<uint8_t> d(4096);
    png_alloc_size_t n = d.size();
    if (png_image_write_to_memory(&im, d.data(), &n, 0, Pixels, 0, Colormap))
        Save(std::string("png-") + Name, d.data(), n, Selector);
}

void Jpeg(int Kind)
{
    static const char* names[3] = {"jpeg-baseline", "jpeg-progressive", "jpeg-gray"};
    const std::vector<uint8_t> rows = Pattern(16 * 3 * 12, 7);
    auto setup = [&](jpeg_compress_struct& c) {
        jpeg_set_quality(&c, 80, TRUE);
        if (Kind == 1)
            jpeg_simple_progression(&c);
    };
    const std::vector<uint8_t> d = EncodeJpeg(16, 12, Kind == 2 ? 1 : 3, setup,
                                              [&](uint32_t y) { return rows.data() + y * (Kind == 2 ? 16 : 48); });
    Save(names[Kind], d.data(), d.size(), kJpeg);
    Save(std::string(names[Kind]) + "-ycc", d.data(), d.size(), kJpegHalfYCbCr);
}

} // namespace

std::vector<uint8_t> EncodeJpeg(uint32_t W, uint32_t H, int Components,
                                const std::function<void(jpeg_compress_struct&)>& Setup,
                                const std::function<const uint8_t*(uint32_t)>& Row,
                                const std::function<void(jpeg_compress_struct&)>& Started)
{
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = W;
    c.image_height = H;
    c.input_components = Components;
    c.in_color_space = Components == 4 ? JCS_CMYK : Components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    if (Setup)
        Setup(c);
    jpeg_start_compress(&c, TRUE);
    if (Started)
        Started(c);
    for (uint32_t y = 0; y < H; ++y) {
        JSAMPROW r = const_cast<JSAMPROW>(Row(y));
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> v(out, out + size);
    std::free(out);
    return v;
}

bool EncodeTurnedHeif(const std::string& Path, heif_compression_format Fmt, bool Alpha,
                      const std::vector<uint8_t>& Exif)
{
    heif_context* ctx = heif_context_alloc();
    heif_encoder* enc = nullptr;
    if (heif_context_get_encoder_for_format(ctx, Fmt, &enc).code != heif_error_Ok) {
        heif_context_free(ctx);
        return false;
    }
    heif_encoder_set_lossy_quality(enc, 50);
    heif_image* im = nullptr;
    heif_image_create(24, 16, heif_colorspace_RGB, Alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                      &im);
    heif_image_add_plane(im, heif_channel_interleaved, 24, 16, 8);
    int stride = 0;
    uint8_t* p = heif_image_get_plane(im, heif_channel_interleaved, &stride);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24 * (Alpha ? 4 : 3); ++x)
            p[y * stride + x] = uint8_t(x * 5 + y * 9);
    const std::vector<uint8_t> prof(132, 0);
    heif_image_set_raw_color_profile(im, "prof", prof.data(), prof.size());
    heif_encoding_options* eo = heif_encoding_options_alloc();
    eo->image_orientation = heif_orientation_rotate_90_cw;
    heif_image_handle *h = nullptr, *th = nullptr;
    bool ok = heif_context_encode_image(ctx, im, enc, eo, &h).code == heif_error_Ok;
    if (ok) {
        heif_context_encode_thumbnail(ctx, im, h, enc, eo, 8, &th);
        // libheif takes the TIFF structure after a 4-byte offset of its own.
        ok = (Exif.size() <= 6 ||
              heif_context_add_exif_metadata(ctx, h, Exif.data() + 6, int(Exif.size() - 6)).code == heif_error_Ok) &&
            heif_context_write_to_file(ctx, Path.c_str()).code == heif_error_Ok;
    }
    heif_image_handle_release(th);
    heif_image_handle_release(h);
    heif_encoding_options_free(eo);
    heif_encoder_release(enc);
    heif_image_release(im);
    heif_context_free(ctx);
    return ok;
}

void MakeFuzzSeeds(const std::string& Folder)
{
    Out = Folder;
    const std::vector<uint8_t> rgb = Pattern(7 * 5 * 3, 37), idx = Pattern(5 * 4, 1), map = Pattern(16 * 4, 16);
    std::vector<uint16_t> ga(4 * 3 * 2);
    for (size_t i = 0; i < ga.size(); ++i)
        ga[i] = uint16_t(i * 2741);
    Png("rgb", 7, 5, PNG_FORMAT_RGB, rgb.data(), nullptr, 0, kPng);
    Png("ga16", 4, 3, PNG_FORMAT_LINEAR_Y_ALPHA, ga.data(), nullptr, 0, kPngFlatten);
    Png("palette", 5, 4, PNG_FORMAT_RGBA_COLORMAP, idx.data(), map.data(), 16, kPng);
    for (int kind = 0; kind < 3; ++kind)
        Jpeg(kind);
    TIFFSetWarningHandler(nullptr);
    const uint16_t contig = PLANARCONFIG_CONTIG, rgbp = PHOTOMETRIC_RGB, gray = PHOTOMETRIC_MINISBLACK;
    const TTiffSpec tiffs[] = {
        {"rgb-lzw", 13, 9, 3, 8, rgbp, COMPRESSION_LZW, contig, false, 0},
        {"rgba-straight", 13, 9, 4, 8, rgbp, COMPRESSION_NONE, contig, false, EXTRASAMPLE_UNASSALPHA},
        {"rgba-assoc-tiled", 20, 18, 4, 8, rgbp, COMPRESSION_ADOBE_DEFLATE, contig, true, EXTRASAMPLE_ASSOCALPHA},
        {"gray8", 11, 7, 1, 8, gray, COMPRESSION_PACKBITS, contig, false, 0},
        {"gray1-fax4", 40, 12, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, contig, false, 0},
        {"rgb16-planar", 9, 5, 3, 16, rgbp, COMPRESSION_NONE, PLANARCONFIG_SEPARATE, false, 0},
        {"palette", 10, 6, 1, 8, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, contig, false, 0},
        {"cmyk", 8, 8, 4, 8, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE, contig, false, 0},
        {"gray-alpha", 8, 8, 2, 8, gray, COMPRESSION_NONE, contig, false, EXTRASAMPLE_UNASSALPHA},
    };
    for (const TTiffSpec& s : tiffs)
        Tiff(s);
    Gif("plain", 7, 5, false, -1);
    Gif("interlaced-transparent", 9, 11, true, 3);
    WebP();
    heif_init(nullptr);
    for (auto fmt : {heif_compression_HEVC, heif_compression_AV1})
        for (bool alpha : {false, true})
            if (heif_have_encoder_for_format(fmt))
                Heif(fmt, alpha);
    heif_deinit();
    // Every seed once more through the header probe (a thumbnail seed is its file's twin).
    std::vector<std::filesystem::path> seeds;
    for (const auto& e : std::filesystem::directory_iterator(Out))
        seeds.push_back(e.path());
    for (const auto& p : seeds)
        if (const std::vector<uint8_t> d = Slurp(p.string()); d.size() > 1 && (d[0] & 0x40) == 0)
            Save("probe-" + p.filename().string(), d.data() + 1, d.size() - 1, kProbe);
}
