#include "codecs/encoders.h"

namespace codecs {

const char* FailureMessage(EncodeFailure failure) {
    switch (failure) {
    case EncodeFailure::LibraryFailed: return "the encoder failed";
    case EncodeFailure::UnsupportedImage: return "an image or option the encoder cannot take";
    case EncodeFailure::OutOfMemory: return "out of memory";
    }
    return "unknown failure";
}

} // namespace codecs
