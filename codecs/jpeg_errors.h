#pragma once

// libjpeg's error handling for the encoder and the decoder: libjpeg reports an error by
// calling error_exit, which must not return; it jumps back to the caller's setjmp. Nothing
// that needs a destructor may live in a frame the jump leaves.

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace codecs::detail {

struct JumpingErrorManager {
    jpeg_error_mgr base; // first, so that libjpeg's pointer to it is a pointer to the whole
    std::jmp_buf jump;
    bool endedEarly = false; // the decoder met the end of the data before the picture's end
};

[[noreturn]] inline void JumpBack(j_common_ptr info) {
    auto* errors = reinterpret_cast<JumpingErrorManager*>(info->err);
    std::longjmp(errors->jump, 1);
}

// Warnings are not printed; the one that tells of a file cut short is remembered (libjpeg
// fills the missing rows in grey and carries on).
inline void NoteWarning(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<JumpingErrorManager*>(info->err);
    if (level < 0 && errors->base.msg_code == JWRN_JPEG_EOF)
        errors->endedEarly = true;
}

// Points info's errors at errors, jumping back on an error and printing nothing.
template <class Info>
void UseJumpingErrors(Info& info, JumpingErrorManager& errors) {
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JumpBack;
    errors.base.emit_message = NoteWarning;
}

} // namespace codecs::detail
