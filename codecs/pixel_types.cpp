#include "codecs/pixel_types.h"

namespace codecs {

const char* StatusMessage(Status status) {
    switch (status) {
    case Ok: return "ok";
    case GenericError: return "the encoder failed";
    case InvalidParameter: return "an image or option the encoder cannot take";
    case OutOfMemory: return "out of memory";
    }
    return "unknown status";
}

} // namespace codecs
