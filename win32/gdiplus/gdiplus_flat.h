#pragma once

// The flat imaging interface as the savers use it: start-up and shut-down, bitmaps (from a
// device bitmap, or new 32-bit ARGB and 8-bit indexed ones), pixel reads, palettes, bit
// locking, a graphics object that clears and draws through image attributes with a colour
// key, and saving through the built-in encoders chosen by class identifier (below).
//
// Every call answers a Status. Every call but the start-up answers GdiplusNotInitialized
// while the layer is not started, and InvalidParameter for an object that is not alive
// (never made, disposed, or freed by the last shut-down). One thread uses the layer.

#include "codecs/pixel_types.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdiplus/gdiplus_status.h"
#include "win32/ole32/ole32.h"

#include <cstddef>
#include <cstdint>

namespace gdiplus {

// The integer, colour and pixel-format vocabulary is the encoders' (the same published
// numbers); the rest is this interface's own.
using codecs::ARGB;
using codecs::INT;
using codecs::PixelFormat;
using codecs::PixelFormat32bppARGB;
using codecs::PixelFormat32bppRGB;
using codecs::PixelFormat8bppIndexed;
using codecs::UINT;
using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WCHAR = char16_t;
using ULONG_PTR = std::uint32_t; // the start-up token; 0 is never a token
using ole32::CLSID;
using ole32::GUID;

// The built-in encoders' class identifiers, {557CF40d-1A04-11D3-9A73-0000F81EF32E} with the
// format digit d, and the JPEG quality parameter's.
inline constexpr CLSID JpegEncoderClsid{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}}; // libjpeg-turbo, quality 0 to 100
inline constexpr CLSID GifEncoderClsid{0x557CF402, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};  // giflib
inline constexpr CLSID PngEncoderClsid{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};  // libpng
inline constexpr GUID EncoderQuality{0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

enum ImageLockMode : UINT {
    ImageLockModeRead = 1,
    ImageLockModeWrite = 2,
    ImageLockModeUserInputBuf = 4,
};

enum PaletteFlags : UINT {
    PaletteFlagsHasAlpha = 1,
    PaletteFlagsGrayScale = 2,
    PaletteFlagsHalftone = 4,
};

enum ColorAdjustType : INT {
    ColorAdjustTypeDefault = 0,
    ColorAdjustTypeBitmap = 1,
    ColorAdjustTypeBrush = 2,
    ColorAdjustTypePen = 3,
    ColorAdjustTypeText = 4,
};

enum GpUnit : INT {
    UnitWorld = 0,
    UnitDisplay = 1,
    UnitPixel = 2,
};

enum EncoderParameterValueType : UINT {
    EncoderParameterValueTypeLong = 4,
};

// The objects of the layer, seen only through pointers. A bitmap is an image (every image
// of this layer is a bitmap); both are disposed with GdipDisposeImage.
class GpImage {
public:
    virtual ~GpImage() = default;
    GpImage(const GpImage&) = delete;
    GpImage& operator=(const GpImage&) = delete;

protected:
    GpImage() = default;
};

class GpBitmap : public GpImage {
protected:
    GpBitmap() = default;
};

class GpGraphics;
class GpImageAttributes;

// A GDI palette handle; the device layer has no palettes, so only the null handle is valid.
struct HPALETTE {
    std::uint32_t value = 0;
};

using DebugEventProc = void (*)(INT level, char* message);
using NotificationHookProc = Status (*)(ULONG_PTR* token);
using NotificationUnhookProc = void (*)(ULONG_PTR token);
using DrawImageAbort = BOOL (*)(void* data);

struct GdiplusStartupInput {
    UINT GdiplusVersion = 1; // only 1 is offered
    DebugEventProc DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = 0;
    BOOL SuppressExternalCodecs = 0;
};

struct GdiplusStartupOutput {
    NotificationHookProc NotificationHook = nullptr;
    NotificationUnhookProc NotificationUnhook = nullptr;
};

struct GpRect {
    INT X = 0;
    INT Y = 0;
    INT Width = 0;
    INT Height = 0;
};

struct BitmapData {
    UINT Width = 0;
    UINT Height = 0;
    INT Stride = 0; // bytes from one row to the next; negative for bottom-up memory
    gdiplus::PixelFormat PixelFormat = 0;
    void* Scan0 = nullptr; // the first row of the locked rectangle
    std::uintptr_t Reserved = 0;
};

// Room for the largest palette (256 entries at 8 bits per pixel); Count says how many of
// the entries mean anything. GdipGetImagePaletteSize gives the bytes up to the last one.
inline constexpr std::size_t MaxPaletteEntries = 256;
struct ColorPalette {
    UINT Flags = 0;
    UINT Count = 0;
    ARGB Entries[MaxPaletteEntries] = {};
};

struct EncoderParameter {
    GUID Guid;
    UINT NumberOfValues = 0;
    UINT Type = 0;
    void* Value = nullptr;
};

// Room for 16 parameters; Count says how many of them are filled.
inline constexpr std::size_t MaxEncoderParameters = 16;
struct EncoderParameters {
    UINT Count = 0;
    EncoderParameter Parameter[MaxEncoderParameters];
};

// Start-up: only version 1; with the background thread suppressed the output must be given
// and receives hooks that have nothing to do (the layer runs no thread of its own). Each
// start-up gives a new token; the layer stays started until every token is shut down, and the
// last shut-down frees every object still alive.
Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
void GdiplusShutdown(ULONG_PTR token); // an unknown token does nothing

// A 32bppRGB copy of a device bitmap's pixels, read back with alpha 255.
Status GdipCreateBitmapFromHBITMAP(gdi32::HBITMAP hbm, HPALETTE hpal, GpBitmap** bitmap);
// A new bitmap in PixelFormat32bppARGB (all pixels 0x00000000) or PixelFormat8bppIndexed (all
// indexes 0, the fixed halftone palette). Only scan0 = null is offered: the layer allocates.
Status GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0,
                                 GpBitmap** bitmap);
Status GdipGetImageWidth(GpImage* image, UINT* width);
Status GdipGetImageHeight(GpImage* image, UINT* height);
Status GdipGetImagePixelFormat(GpImage* image, PixelFormat* format);
Status GdipBitmapGetPixel(GpBitmap* bitmap, INT x, INT y, ARGB* color);

// Size in bytes of the palette record up to its last entry (8 + 4 × Count; 8 without one).
Status GdipGetImagePaletteSize(GpImage* image, INT* size);
Status GdipGetImagePalette(GpImage* image, ColorPalette* palette, INT size);
// Indexed bitmaps only, and no more entries than the format holds.
Status GdipSetImagePalette(GpImage* image, const ColorPalette* palette);

// Locks a rectangle in the bitmap's own pixel format (a 32-bit bitmap also in the other
// 32-bit format: an RGB bitmap reads as opaque ARGB and stays opaque). Without ImageLockModeUserInputBuf the
// layer fills in Scan0 and Stride; with it, the caller's Scan0 and Stride are used: a read
// lock copies the pixels there at once, a write lock takes them from there at the unlock.
Status GdipBitmapLockBits(GpBitmap* bitmap, const GpRect* rect, UINT flags, PixelFormat format,
                          BitmapData* lockedData);
Status GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedData);

// Graphics on a 32-bit bitmap (not an indexed one).
Status GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
Status GdipGraphicsClear(GpGraphics* graphics, ARGB color);
Status GdipDeleteGraphics(GpGraphics* graphics);

Status GdipCreateImageAttributes(GpImageAttributes** attributes);
// Pixels whose red, green and blue each lie between those of colorLow and colorHigh are left
// undrawn; alpha is not compared.
Status GdipSetImageAttributesColorKeys(GpImageAttributes* attributes, ColorAdjustType type,
                                       BOOL enableFlag, ARGB colorLow, ARGB colorHigh);
Status GdipDisposeImageAttributes(GpImageAttributes* attributes);

// Draws at 1:1 (destination and source of the same size; no scaling is offered), in pixels,
// compositing source over destination. The bitmap colour key applies, or the default one
// when none was set for bitmaps.
Status GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty, INT dstwidth,
                              INT dstheight, INT srcx, INT srcy, INT srcwidth, INT srcheight,
                              GpUnit srcUnit, const GpImageAttributes* attributes,
                              DrawImageAbort callback, void* callbackData);

// Encodes the image with the encoder the class identifier names and writes it through a
// temporary file that then takes the target's place, so that a failed save leaves no
// damaged file. UnknownImageFormat for an unknown encoder; InvalidParameter for a parameter
// the encoder does not take (JPEG takes the quality, a LONG from 0 to 100); AccessDenied,
// FileNotFound or Win32Error when the file cannot be written.
Status GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* clsidEncoder,
                           const EncoderParameters* encoderParams);

Status GdipDisposeImage(GpImage* image);

} // namespace gdiplus

namespace gdiplus {

// How many images, graphics and image attributes are alive: lets a caller prove that an
// operation released everything it made. Not a flat call.
std::size_t CountLiveObjects();

} // namespace gdiplus
