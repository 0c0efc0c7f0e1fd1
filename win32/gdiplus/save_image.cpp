// Saving an image: the encoder is chosen by its class identifier, the bytes are made in
// memory, and only a complete file is put in place of the target.

#include "codecs/encoders.h"
#include "win32/gdiplus/objects.h"
#include "os/wide_text.h"
#include "os/file_output.h"
#include "ui/log.h"
#include "ui/raised_error.h"

#include <new>
#include <string>

namespace gdiplus {

namespace {

constexpr CLSID kJpegEncoder{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr CLSID kGifEncoder{0x557CF402, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr CLSID kPngEncoder{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kEncoderQuality{0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

// The JPEG quality from the parameters; any other parameter is refused.
Status ReadJpegOptions(const EncoderParameters* parameters, codecs::JpegOptions& options) {
    if (parameters == nullptr)
        return Ok;
    if (parameters->Count > MaxEncoderParameters)
        return InvalidParameter;
    for (UINT i = 0; i < parameters->Count; ++i) {
        const EncoderParameter& parameter = parameters->Parameter[i];
        if (!(parameter.Guid == kEncoderQuality) || parameter.Type != EncoderParameterValueTypeLong ||
            parameter.NumberOfValues != 1 || parameter.Value == nullptr)
            return InvalidParameter;
        const UINT quality = *static_cast<const UINT*>(parameter.Value);
        if (quality > 100)
            return InvalidParameter;
        options.quality = static_cast<int>(quality);
    }
    return Ok;
}

// An encoder's answer as this layer's status (the numbers agree); a failure's reason goes
// to the program's log, since the caller only sees the status.
Status FromEncoder(codecs::Status status, const char* format) {
    if (status != codecs::Ok)
        ui::LogFailure(std::string(format) + " encoder", codecs::StatusMessage(status));
    return static_cast<Status>(status);
}
static_assert(static_cast<int>(codecs::GenericError) == GenericError && static_cast<int>(codecs::OutOfMemory) == OutOfMemory &&
              static_cast<int>(codecs::InvalidParameter) == InvalidParameter);

// The rows of a device bitmap's snapshot, top row first.
std::vector<const ARGB*> RowsOf(const gdi32::PixelSnapshot& device) {
    std::vector<const ARGB*> rows(static_cast<std::size_t>(device.height));
    for (INT y = 0; y < device.height; ++y)
        rows[y] = device.Row(y);
    return rows;
}

// A bitmap still holding a device bitmap's snapshot is encoded straight from it where the
// encoder reads the pixels as they are (JPEG and PNG ignore the fourth byte), and a canvas
// still holding its keyed drawing is encoded as PNG from that: a picture-sized copy spared
// each time. The GIF encoder takes the layer's own copy.
Status Encode(BitmapObject& bitmap, const CLSID& encoder, const EncoderParameters* parameters,
              std::vector<std::byte>& file) {
    const bool hasParameters = parameters != nullptr && parameters->Count > 0;
    const gdi32::PixelSnapshot* device = bitmap.DevicePixels();
    if (encoder == kJpegEncoder) {
        codecs::JpegOptions options;
        if (const Status status = ReadJpegOptions(parameters, options); status != Ok)
            return status;
        if (device != nullptr)
            return FromEncoder(codecs::EncodeJpegRows(device->width, device->height, RowsOf(*device), options, file),
                               "JPEG");
        return FromEncoder(codecs::EncodeJpeg(bitmap.Pixels(), options, file), "JPEG");
    }
    if (encoder == kPngEncoder) {
        if (hasParameters)
            return InvalidParameter;
        if (device != nullptr)
            return FromEncoder(codecs::EncodePngRows(device->width, device->height, RowsOf(*device), file), "PNG");
        if (const KeyedDrawing* drawing = bitmap.Drawing()) // a canvas whose pixels were never made
            return FromEncoder(codecs::EncodePngArgbRows(bitmap.Description().width, bitmap.Description().height,
                                                         [drawing](INT y, ARGB* out) { drawing->Row(y, out); }, file),
                               "PNG");
        return FromEncoder(codecs::EncodePng(bitmap.Pixels(), file), "PNG");
    }
    if (encoder == kGifEncoder)
        return hasParameters ? InvalidParameter : FromEncoder(codecs::EncodeGif(bitmap.Pixels(), file), "GIF");
    return UnknownImageFormat;
}

Status StatusOfFileError(const ui::RaisedError& error) {
    switch (error.number()) {
    case ui::kPermissionDenied:
        return AccessDenied;
    case ui::kPathNotFound:
    case ui::kFileNotFound:
        return FileNotFound;
    default:
        return Win32Error;
    }
}

} // namespace

Status GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* clsidEncoder,
                           const EncoderParameters* encoderParams) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    BitmapObject* live = detail::Find(image);
    if (live == nullptr || filename == nullptr || clsidEncoder == nullptr)
        return InvalidParameter;
    if (live->lock)
        return WrongState;
    try {
        std::vector<std::byte> file;
        if (const Status status = Encode(*live, *clsidEncoder, encoderParams, file); status != Ok)
            return status;
        os::WriteWholeFile(os::FromUtf16(filename), file);
        return Ok;
    } catch (const ui::RaisedError& error) {
        ui::LogFailure("writing the file", error.description()); // the status keeps only the kind
        return StatusOfFileError(error);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
}

} // namespace gdiplus
