// Saving an image: the encoder is chosen by its class identifier, the bytes are made in
// memory, and only a complete file is put in place of the target.

#include "codecs/encoders.h"
#include "win32/gdiplus/objects.h"
#include "os/wide_text.h"
#include "os/file_output.h"
#include "report/log.h"
#include "report/raised_error.h"
#include "report/expected.h"

#include <new>
#include <string>

namespace gdiplus {

namespace {

// A refusal of this interface, with the reason the program's log keeps; the caller sees only
// the status.
struct Refusal {
    Status status;
    std::string reason;
};
using EncodedFile = report::Expected<std::vector<std::byte>, Refusal>;

// The JPEG quality from the parameters; any other parameter is refused.
bool ReadJpegOptions(const EncoderParameters* parameters, codecs::JpegOptions& options) {
    if (parameters == nullptr)
        return true;
    if (parameters->Count > MaxEncoderParameters)
        return false;
    for (UINT i = 0; i < parameters->Count; ++i) {
        const EncoderParameter& parameter = parameters->Parameter[i];
        if (!(parameter.Guid == EncoderQuality) || parameter.Type != EncoderParameterValueTypeLong ||
            parameter.NumberOfValues != 1 || parameter.Value == nullptr)
            return false;
        const UINT quality = *static_cast<const UINT*>(parameter.Value);
        if (quality > 100)
            return false;
        options.quality = static_cast<int>(quality);
    }
    return true;
}

// An encoder's answer in this interface's terms: its reason becomes a status here and
// nowhere else.
EncodedFile FromEncoder(codecs::EncodedFile encoded, const char* format) {
    if (encoded)
        return std::move(*encoded);
    const codecs::EncodeFailure failure = encoded.error();
    const Status status = failure == codecs::EncodeFailure::OutOfMemory        ? OutOfMemory
                          : failure == codecs::EncodeFailure::UnsupportedImage ? InvalidParameter
                                                                               : GenericError;
    return report::Unexpected<Refusal>{{status, std::string(format) + " encoder: " + codecs::FailureMessage(failure)}};
}

report::Unexpected<Refusal> Refuse(Status status) { return {Refusal{status, StatusMessage(status)}}; }

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
EncodedFile Encode(BitmapObject& bitmap, const CLSID& encoder, const EncoderParameters* parameters) {
    const bool hasParameters = parameters != nullptr && parameters->Count > 0;
    const gdi32::PixelSnapshot* device = bitmap.DevicePixels();
    if (encoder == JpegEncoderClsid) {
        codecs::JpegOptions options;
        if (!ReadJpegOptions(parameters, options))
            return Refuse(InvalidParameter);
        if (device != nullptr)
            return FromEncoder(codecs::EncodeJpegRows(device->width, device->height, RowsOf(*device), options), "JPEG");
        return FromEncoder(codecs::EncodeJpeg(bitmap.Pixels(), options), "JPEG");
    }
    if (encoder == PngEncoderClsid) {
        if (hasParameters)
            return Refuse(InvalidParameter);
        if (device != nullptr)
            return FromEncoder(codecs::EncodePngRows(device->width, device->height, RowsOf(*device)), "PNG");
        if (const KeyedDrawing* drawing = bitmap.Drawing()) // a canvas whose pixels were never made
            return FromEncoder(codecs::EncodePngArgbRows(bitmap.Description().width, bitmap.Description().height,
                                                         [drawing](INT y, ARGB* out) { drawing->Row(y, out); }),
                               "PNG");
        return FromEncoder(codecs::EncodePng(bitmap.Pixels()), "PNG");
    }
    if (encoder == GifEncoderClsid)
        return hasParameters ? Refuse(InvalidParameter) : FromEncoder(codecs::EncodeGif(bitmap.Pixels()), "GIF");
    return Refuse(UnknownImageFormat);
}

Status StatusOfFileError(const report::RaisedError& error) {
    switch (error.number()) {
    case report::kPermissionDenied:
        return AccessDenied;
    case report::kPathNotFound:
    case report::kFileNotFound:
        return FileNotFound;
    default:
        return Win32Error;
    }
}

// The one place a failed save is logged: here its reason is still known.
Status Logged(const std::string& path, const Refusal& refusal) {
    report::LogFailure("saving " + path, refusal.reason);
    return refusal.status;
}

} // namespace

Status GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* clsidEncoder,
                           const EncoderParameters* encoderParams) {
    const std::string path = filename != nullptr ? os::FromUtf16(filename) : "(no file name)";
    BitmapObject* live = detail::Started() ? detail::Find(image) : nullptr;
    const Status refused = !detail::Started()                                                  ? GdiplusNotInitialized
                           : live == nullptr || filename == nullptr || clsidEncoder == nullptr ? InvalidParameter
                           : live->lock                                                        ? WrongState
                                                                                               : Ok;
    if (refused != Ok)
        return Logged(path, Refuse(refused).reason);
    try {
        const EncodedFile file = Encode(*live, *clsidEncoder, encoderParams);
        if (!file)
            return Logged(path, file.error());
        os::WriteWholeFile(path, *file);
        return Ok;
    } catch (const report::RaisedError& error) {
        return Logged(path, {StatusOfFileError(error), error.description()}); // the status keeps only the kind
    } catch (const std::bad_alloc&) {
        return Logged(path, Refuse(OutOfMemory).reason);
    }
}

} // namespace gdiplus
