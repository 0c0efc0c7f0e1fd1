#include "report/raised_error.h"

#include <cerrno>
#include <cstring>

namespace report {

namespace {

struct FileErrorText {
    std::int32_t number;
    const char* text;
};

FileErrorText Classify(int errnoValue) {
    switch (errnoValue) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return {kDiskFull, "ディスクの空き容量が不足しています。"};
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return {kPermissionDenied, "書き込みできません。"};
    case ENOENT:
    case ENOTDIR:
        return {kPathNotFound, "パスが見つかりません。"};
    case ENAMETOOLONG:
    case EINVAL:
        return {kBadFileName, "ファイル名が正しくありません。"};
    case EISDIR:
    case EEXIST:
        return {kPathFileAccessError, "パス名が無効です。"};
    case EIO:
        return {kDeviceIoError, "デバイス I/O エラーです。"};
    default:
        return {kPathFileAccessError, "パス名が無効です。"};
    }
}

} // namespace

RaisedError FileError(int errnoValue, const std::string& path) {
    const FileErrorText kind = Classify(errnoValue);
    // The system's own wording follows the classic text, so the cause is never lost.
    return RaisedError(kind.number,
                       std::string(kind.text) + " (" + path + ": " + std::strerror(errnoValue) + ")");
}

} // namespace report
