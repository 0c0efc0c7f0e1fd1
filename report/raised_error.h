#pragma once

// An error raised as a number with a description text. Procedures that fail this way
// throw RaisedError; the few places that trap errors catch it and show description().

#include <cstdint>
#include <stdexcept>
#include <string>

namespace report {

class RaisedError : public std::runtime_error {
public:
    RaisedError(std::int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number) {}

    std::int32_t number() const noexcept { return number_; }
    std::string description() const { return what(); }

private:
    std::int32_t number_;
};

// Numbers of the file errors, as the classic runtime numbers them, so that a caller
// can tell a full disk from a missing folder without parsing the text.
enum FileErrorNumber : std::int32_t {
    kBadFileName = 52,
    kFileNotFound = 53,
    kDeviceIoError = 57,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
};

// The error for a failed file operation on path, from the C library's errno value.
RaisedError FileError(int errnoValue, const std::string& path);

} // namespace report
