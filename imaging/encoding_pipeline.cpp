#include "imaging/encoding_pipeline.h"

#include "imaging/encoder_ids.h"
#include "imaging/gdiplus_handles.h"
#include "imaging/mdl_gdiplus.h"
#include "imaging/own_gif_conversion.h"
#include "os/wide_text.h"

namespace mdlGdiplus {

using namespace gdiplus;

namespace {

Status SaveJpegWithQuality(GpImage* image, const std::u16string& path, const CLSID& encoder,
                           std::int32_t OptionValue) {
    // Lives until the save returns: the parameter block points at it.
    std::int32_t Quality = (OptionValue < 0 || OptionValue > 100) ? 100 : OptionValue;
    EncoderParameters EncoderParameterBlock;
    EncoderParameterBlock.Count = 1;
    EncoderParameterBlock.Parameter[0].Guid = StringToGuid(EncoderQualityText);
    EncoderParameterBlock.Parameter[0].NumberOfValues = 1;
    EncoderParameterBlock.Parameter[0].Type = EncoderParameterValueTypeLong;
    EncoderParameterBlock.Parameter[0].Value = &Quality;
    return GdipSaveImageToFile(image, path.c_str(), &encoder, &EncoderParameterBlock);
}

// The picture drawn onto a transparent ARGB canvas with every pixel of the key colour left
// out, so that exactly those pixels stay transparent.
Status SavePngWithColorKey(GpImage* image, const std::u16string& path, const CLSID& encoder,
                           std::int32_t OptionValue) {
    UINT w = 0;
    UINT h = 0;
    GdipGetImageWidth(image, &w);
    GdipGetImageHeight(image, &h);
    const auto width = static_cast<INT>(w);
    const auto height = static_cast<INT>(h);

    GpBitmap* createdCanvas = nullptr;
    GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &createdCanvas);
    const BitmapHandle canvas(createdCanvas);
    GpGraphics* createdGraphics = nullptr;
    GdipGetImageGraphicsContext(canvas.get(), &createdGraphics);
    const GraphicsHandle graphics(createdGraphics);
    GdipGraphicsClear(graphics.get(), 0x00000000);
    GpImageAttributes* createdAttributes = nullptr;
    GdipCreateImageAttributes(&createdAttributes);
    const ImageAttributesHandle attributes(createdAttributes);
    const std::uint32_t key = OleColorToArgb(OptionValue, 0);
    GdipSetImageAttributesColorKeys(attributes.get(), ColorAdjustTypeBitmap, 1, key, key);
    GdipDrawImageRectRectI(graphics.get(), image, 0, 0, width, height, 0, 0, width, height, UnitPixel,
                           attributes.get(), nullptr, nullptr);
    // The owners release in reverse order once the save has answered: attributes, graphics,
    // canvas.
    return GdipSaveImageToFile(canvas.get(), path.c_str(), &encoder, nullptr);
}

} // namespace

bool EncodeImageToFile(GpImage* image, const std::string& path, std::int32_t FormatDigit,
                       std::int32_t OptionValue) {
    if (image == nullptr)
        return false;
    ImageHandle source(image); // disposed after the save, whichever way it took
    const CLSID encoder = StringToGuid(GetEncoderClsidString(FormatDigit));
    const std::u16string path16 = os::ToUtf16(path);

    Status status = GenericError;
    if (FormatDigit == FormatJpeg && OptionValue != OptionNone)
        status = SaveJpegWithQuality(image, path16, encoder, OptionValue);
    else if (FormatDigit == FormatGif && OptionValue != OptionGifByEncoder)
        // Every image of the imaging layer is a bitmap, and this one came from a bitmap handle.
        status = SaveByOwnGifConversion(static_cast<GpBitmap*>(image), path16, encoder, OptionValue);
    else if (FormatDigit == FormatPng && OptionValue != OptionNone)
        status = SavePngWithColorKey(image, path16, encoder, OptionValue);
    else
        status = GdipSaveImageToFile(image, path16.c_str(), &encoder, nullptr);
    source.reset();
    return status == Ok; // the save logged its reason; the caller learns only false
}

bool SaveImageByGdiplus(gdi32::HBITMAP bitmap, const std::string& path, std::int32_t FormatDigit,
                        std::int32_t OptionValue) {
    GpBitmap* image = nullptr;
    if (GdipCreateBitmapFromHBITMAP(bitmap, HPALETTE{}, &image) != Ok)
        return false;
    return EncodeImageToFile(image, path, FormatDigit, OptionValue);
}

} // namespace mdlGdiplus
