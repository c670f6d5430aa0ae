// Small seed files for the codec fuzz target, each prefixed with the
// selector byte of the entry it is meant for (KodexFuzzTarget.h): PNG (RGB,
// 16-bit gray with alpha, palette with transparency), JPEG (baseline,
// progressive, gray; plain and scaled to YCbCr), TIFF of several layouts and
// codings, GIF (plain and interlaced with a transparent colour), WebP (lossy,
// lossless, alpha, profile and EXIF, animation), HEIF/AVIF where this libheif
// build can encode them (and their thumbnails), and every one of them once
// more through the header probe.
#include "KodexFuzzSeeds.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string Out;

// Selector bytes of the fuzz target (KodexFuzzTarget.h).
enum : uint8_t {
    kPng = 0, kPngFlatten = 0x80, kJpeg = 1, kJpegHalfYCbCr = 0x15, kWic = 2, kWicThumbnail = 0x42, kProbe = 0x22
};

void Save(const std::string& Name, const uint8_t* Data, size_t Size, uint8_t Selector = kWic)
{
    const std::string path = Out + "/" + Name;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fputc(Selector, f);
        std::fwrite(Data, 1, Size, f);
        std::fclose(f);
    }
}

std::vector<uint8_t> Slurp(const std::string& Path, bool Remove = true)
{
    std::vector<uint8_t> d;
    if (std::FILE* f = std::fopen(Path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            d.push_back(uint8_t(c));
        std::fclose(f);
    }
    if (Remove)
        std::remove(Path.c_str());
    return d;
}

struct TTiffSpec {
    const char* Name;
    uint32_t W, H;
    uint16_t Spp, Bits, Photometric, Compression, Planar;
    bool Tiled;
    uint16_t Extra, ExtraKind;
};

void Tiff(const TTiffSpec& S)
{
    const std::string tmp = Out + "/tmp.tif";
    TIFF* t = TIFFOpen(tmp.c_str(), "w");
    if (!t)
        return;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, S.W);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, S.H);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, S.Bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, S.Spp);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, S.Photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, S.Planar);
    TIFFSetField(t, TIFFTAG_COMPRESSION, S.Compression);
    TIFFSetField(t, TIFFTAG_ORIENTATION, S.Tiled ? ORIENTATION_BOTRIGHT : ORIENTATION_TOPLEFT);
    if (S.Extra) {
        const uint16_t kinds[2] = {S.ExtraKind, S.ExtraKind};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, S.Extra, kinds);
    }
    static uint16_t map[3][256];
    if (S.Photometric == PHOTOMETRIC_PALETTE) {
        for (int i = 0; i < 256; ++i)
            map[0][i] = uint16_t(i * 257), map[1][i] = uint16_t((255 - i) * 257), map[2][i] = uint16_t(i * 100);
        TIFFSetField(t, TIFFTAG_COLORMAP, map[0], map[1], map[2]);
    }
    std::vector<uint8_t> buf(1 << 16);
    for (size_t i = 0; i < buf.size(); ++i)
        buf[i] = uint8_t(i * 7 + i / 13);
    const int planes = S.Planar == PLANARCONFIG_SEPARATE ? S.Spp : 1;
    if (S.Tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        for (int p = 0; p < planes; ++p)
            for (uint32_t y = 0; y < S.H; y += 16)
                for (uint32_t x = 0; x < S.W; x += 16)
                    TIFFWriteTile(t, buf.data(), x, y, 0, uint16_t(p));
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
        for (int p = 0; p < planes; ++p)
            for (uint32_t y = 0; y < S.H; ++y)
                TIFFWriteScanline(t, buf.data() + y * 3, y, uint16_t(p));
    }
    TIFFClose(t);
    const std::vector<uint8_t> d = Slurp(tmp);
    Save(std::string("tiff-") + S.Name, d.data(), d.size());
}

void Gif(const char* Name, int W, int H, bool Interlace, int Transparent)
{
    const std::string tmp = Out + "/tmp.gif";
    int err = 0;
    GifFileType* g = EGifOpenFileName(tmp.c_str(), false, &err);
    if (!g)
        return;
    GifColorType cols[16];
    for (int i = 0; i < 16; ++i)
        cols[i] = {uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 5)};
    ColorMapObject* map = GifMakeMapObject(16, cols);
    EGifPutScreenDesc(g, W + 2, H + 1, 4, 0, map);
    if (Transparent >= 0) {
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = Transparent;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    }
    EGifPutImageDesc(g, 1, 1, W, H, Interlace, Interlace ? map : nullptr);
    std::vector<GifPixelType> line(static_cast<size_t>(W));
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x)
            line[size_t(x)] = GifPixelType((x * 3 + y) & 15);
        EGifPutLine(g, line.data(), W);
    }
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    const std::vector<uint8_t> d = Slurp(tmp);
    Save(std::string("gif-") + Name, d.data(), d.size());
}

void WebP()
{
    std::vector<uint8_t> px(16 * 13 * 4); // a spare row: the second frame starts a pixel later
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = uint8_t(i * 13);
    uint8_t* o = nullptr;
    size_t n = WebPEncodeBGR(px.data(), 16, 12, 48, 80, &o);
    Save("webp-lossy", o, n);
    WebPFree(o);
    n = WebPEncodeLosslessBGRA(px.data(), 16, 12, 64, &o);
    Save("webp-lossless", o, n);
    WebPFree(o);
    n = WebPEncodeBGRA(px.data(), 16, 12, 64, 70, &o);
    Save("webp-alpha", o, n);
    // The same with a profile and an EXIF block (orientation 6).
    WebPMux* mux = WebPMuxNew();
    const WebPData img{o, n};
    WebPMuxSetImage(mux, &img, 1);
    std::vector<uint8_t> prof(200, 0);
    const WebPData icc{prof.data(), prof.size()};
    WebPMuxSetChunk(mux, "ICCP", &icc, 1);
    static const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                   1, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
    const WebPData ex{exif, sizeof exif};
    WebPMuxSetChunk(mux, "EXIF", &ex, 1);
    WebPData all;
    if (WebPMuxAssemble(mux, &all) == WEBP_MUX_OK) {
        Save("webp-meta", all.bytes, all.size);
        WebPDataClear(&all);
    }
    WebPMuxDelete(mux);
    WebPFree(o);
    // Two lossless frames.
    WebPAnimEncoderOptions ao;
    WebPAnimEncoderOptionsInit(&ao);
    WebPAnimEncoder* enc = WebPAnimEncoderNew(16, 12, &ao);
    WebPConfig cfg;
    WebPConfigInit(&cfg);
    cfg.lossless = 1;
    for (int f = 0; f < 2; ++f) {
        WebPPicture pic;
        WebPPictureInit(&pic);
        pic.width = 16;
        pic.height = 12;
        pic.use_argb = 1;
        WebPPictureImportBGRA(&pic, px.data() + f * 4, 64);
        WebPAnimEncoderAdd(enc, &pic, f * 100, &cfg);
        WebPPictureFree(&pic);
    }
    WebPAnimEncoderAdd(enc, nullptr, 200, nullptr);
    WebPData anim;
    WebPDataInit(&anim);
    if (WebPAnimEncoderAssemble(enc, &anim)) {
        Save("webp-anim", anim.bytes, anim.size);
        WebPDataClear(&anim);
    }
    WebPAnimEncoderDelete(enc);
}

void Heif()
{
    heif_init(nullptr);
    for (auto fmt : {heif_compression_HEVC, heif_compression_AV1}) {
        if (!heif_have_encoder_for_format(fmt))
            continue;
        for (int alpha = 0; alpha < 2; ++alpha) {
            heif_context* ctx = heif_context_alloc();
            heif_encoder* enc = nullptr;
            if (heif_context_get_encoder_for_format(ctx, fmt, &enc).code != heif_error_Ok) {
                heif_context_free(ctx);
                continue;
            }
            heif_encoder_set_lossy_quality(enc, 50);
            const int ch = alpha ? 4 : 3;
            heif_image* im = nullptr;
            heif_image_create(24, 16, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &im);
            heif_image_add_plane(im, heif_channel_interleaved, 24, 16, 8);
            int stride = 0;
            uint8_t* p = heif_image_get_plane(im, heif_channel_interleaved, &stride);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 24 * ch; ++x)
                    p[y * stride + x] = uint8_t(x * 5 + y * 9);
            std::vector<uint8_t> prof(132, 0);
            heif_image_set_raw_color_profile(im, "prof", prof.data(), prof.size());
            heif_encoding_options* eo = heif_encoding_options_alloc();
            eo->image_orientation = heif_orientation_rotate_90_cw;
            heif_image_handle* h = nullptr;
            heif_image_handle* th = nullptr;
            if (heif_context_encode_image(ctx, im, enc, eo, &h).code == heif_error_Ok) {
                heif_context_encode_thumbnail(ctx, im, h, enc, eo, 8, &th);
                const std::string tmp = Out + "/tmp.heif";
                if (heif_context_write_to_file(ctx, tmp.c_str()).code == heif_error_Ok) {
                    const std::vector<uint8_t> d = Slurp(tmp);
                    const std::string name = std::string("heif-") + (fmt == heif_compression_HEVC ? "hevc" : "av1") +
                                             (alpha ? "-alpha" : "");
                    Save(name, d.data(), d.size());
                    Save(name + "-thumb", d.data(), d.size(), kWicThumbnail);
                }
            }
            if (th)
                heif_image_handle_release(th);
            if (h)
                heif_image_handle_release(h);
            heif_encoding_options_free(eo);
            heif_encoder_release(enc);
            heif_image_release(im);
            heif_context_free(ctx);
        }
    }
    heif_deinit();
}

void Png()
{
    auto save = [](const char* Name, png_uint_32 W, png_uint_32 H, png_uint_32 Format, const void* Pixels,
                   const void* Colormap, png_uint_32 Colors, uint8_t Selector) {
        png_image im{};
        im.version = PNG_IMAGE_VERSION;
        im.width = W;
        im.height = H;
        im.format = Format;
        im.colormap_entries = Colors;
        png_alloc_size_t n = 0;
        if (!png_image_write_to_memory(&im, nullptr, &n, 0, Pixels, 0, Colormap))
            return;
        std::vector<uint8_t> d(n);
        if (png_image_write_to_memory(&im, d.data(), &n, 0, Pixels, 0, Colormap))
            Save(std::string("png-") + Name, d.data(), n, Selector);
    };
    std::vector<uint8_t> rgb(7 * 5 * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i * 37);
    save("rgb", 7, 5, PNG_FORMAT_RGB, rgb.data(), nullptr, 0, kPng);
    std::vector<uint16_t> ga(4 * 3 * 2);
    for (size_t i = 0; i < ga.size(); ++i)
        ga[i] = uint16_t(i * 2741);
    save("ga16", 4, 3, PNG_FORMAT_LINEAR_Y_ALPHA, ga.data(), nullptr, 0, kPngFlatten);
    std::vector<uint8_t> map(16 * 4), idx(5 * 4);
    for (size_t i = 0; i < map.size(); ++i)
        map[i] = uint8_t(i * 16 + (i % 4 == 3 ? 7 : 0));
    for (size_t i = 0; i < idx.size(); ++i)
        idx[i] = uint8_t(i % 16);
    save("palette", 5, 4, PNG_FORMAT_RGBA_COLORMAP, idx.data(), map.data(), 16, kPng);
}

void Jpeg()
{
    for (int kind = 0; kind < 3; ++kind) {
        jpeg_compress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_compress(&c);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c, &out, &size);
        c.image_width = 16;
        c.image_height = 12;
        c.input_components = kind == 2 ? 1 : 3;
        c.in_color_space = kind == 2 ? JCS_GRAYSCALE : JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 80, TRUE);
        if (kind == 1)
            jpeg_simple_progression(&c);
        jpeg_start_compress(&c, TRUE);
        std::vector<uint8_t> row(16 * 3);
        for (uint32_t y = 0; y < 12; ++y) {
            for (size_t i = 0; i < row.size(); ++i)
                row[i] = uint8_t((i + y * 48) * 7);
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        static const char* names[3] = {"jpeg-baseline", "jpeg-progressive", "jpeg-gray"};
        Save(names[kind], out, size, kJpeg);
        Save(std::string(names[kind]) + "-ycc", out, size, kJpegHalfYCbCr);
        std::free(out);
    }
}

// Every seed once more through the header probe.
void ProbeCopies()
{
    std::vector<std::filesystem::path> seeds;
    for (const auto& e : std::filesystem::directory_iterator(Out))
        seeds.push_back(e.path());
    for (const auto& p : seeds) {
        std::vector<uint8_t> d = Slurp(p.string(), false);
        if (d.size() > 1 && (d[0] & 0x40) == 0) // a thumbnail seed is its file's twin
            Save("probe-" + p.filename().string(), d.data() + 1, d.size() - 1, kProbe);
    }
}

} // namespace

void MakeFuzzSeeds(const std::string& Folder)
{
    Out = Folder;
    Png();
    Jpeg();
    TIFFSetWarningHandler(nullptr);
    const TTiffSpec tiffs[] = {
        {"rgb-lzw", 13, 9, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, PLANARCONFIG_CONTIG, false, 0, 0},
        {"rgba-straight", 13, 9, 4, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, PLANARCONFIG_CONTIG, false, 1,
         EXTRASAMPLE_UNASSALPHA},
        {"rgba-assoc-tiled", 20, 18, 4, 8, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, PLANARCONFIG_CONTIG, true, 1,
         EXTRASAMPLE_ASSOCALPHA},
        {"gray8", 11, 7, 1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, PLANARCONFIG_CONTIG, false, 0, 0},
        {"gray1-fax4", 40, 12, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, PLANARCONFIG_CONTIG, false, 0, 0},
        {"rgb16-planar", 9, 5, 3, 16, PHOTOMETRIC_RGB, COMPRESSION_NONE, PLANARCONFIG_SEPARATE, false, 0, 0},
        {"palette", 10, 6, 1, 8, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, PLANARCONFIG_CONTIG, false, 0, 0},
        {"cmyk", 8, 8, 4, 8, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE, PLANARCONFIG_CONTIG, false, 0, 0},
        {"gray-alpha", 8, 8, 2, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, PLANARCONFIG_CONTIG, false, 1,
         EXTRASAMPLE_UNASSALPHA},
    };
    for (const TTiffSpec& s : tiffs)
        Tiff(s);
    Gif("plain", 7, 5, false, -1);
    Gif("interlaced-transparent", 9, 11, true, 3);
    WebP();
    Heif();
    ProbeCopies();
}
