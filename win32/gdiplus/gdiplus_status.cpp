#include "win32/gdiplus/gdiplus_status.h"

namespace gdiplus {

const char* StatusMessage(Status status) {
    switch (status) {
    case Ok: return "Ok";
    case GenericError: return "Generic error";
    case InvalidParameter: return "Invalid parameter";
    case OutOfMemory: return "Out of memory";
    case ObjectBusy: return "Object busy";
    case InsufficientBuffer: return "Insufficient buffer";
    case NotImplemented: return "Not implemented";
    case Win32Error: return "The file could not be written";
    case WrongState: return "Wrong state (the bitmap is locked, or not locked)";
    case Aborted: return "Aborted";
    case FileNotFound: return "File or folder not found";
    case ValueOverflow: return "Value overflow";
    case AccessDenied: return "Access denied";
    case UnknownImageFormat: return "Unknown image format or encoder";
    case FontFamilyNotFound: return "Font family not found";
    case FontStyleNotFound: return "Font style not found";
    case NotTrueTypeFont: return "Not a TrueType font";
    case UnsupportedGdiplusVersion: return "Unsupported version";
    case GdiplusNotInitialized: return "The imaging layer is not started";
    case PropertyNotFound: return "Property not found";
    case PropertyNotSupported: return "Property not supported";
    case ProfileNotFound: return "Colour profile not found";
    }
    return "Unknown status";
}

} // namespace gdiplus
