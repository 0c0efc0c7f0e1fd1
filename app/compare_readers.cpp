// libjpeg and libpng report errors through a callback that must not return; each jumps back
// to a setjmp in the one small function that made the call, which then throws. Nothing with
// a destructor lives between a setjmp and its jump.

#include "app/compare_readers.h"

#include <gif_lib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

#include <fcntl.h>
#include <unistd.h>

namespace lumivert {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
        Fail(std::strerror(errno));
    return file;
}

class JpegReader final : public RowReader {
public:
    explicit JpegReader(const std::string& path) : file_(OpenForReading(path)) {
        jpeg_decompress_struct& info_ = decompress_.info;
        info_.err = jpeg_std_error(&errors_.base);
        errors_.base.error_exit = [](j_common_ptr common) {
            auto* errors = reinterpret_cast<Errors*>(common->err);
            errors->base.format_message(common, errors->message);
            std::longjmp(errors->jump, 1);
        };
        if (!Start())
            Fail(errors_.message);
        width_ = static_cast<int>(info_.output_width);
        height_ = static_cast<int>(info_.output_height);
    }

    void ReadRow(std::uint32_t* row) override {
        if (!Read(reinterpret_cast<JSAMPROW>(row)))
            Fail(errors_.message);
    }

private:
    struct Errors {
        jpeg_error_mgr base;
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
    };

    bool Start() {
        jpeg_decompress_struct& info_ = decompress_.info;
        if (setjmp(errors_.jump))
            return false;
        jpeg_create_decompress(&info_);
        jpeg_stdio_src(&info_, file_.get());
        jpeg_read_header(&info_, TRUE);
        info_.out_color_space = JCS_EXT_BGRA; // little-endian 0xAARRGGBB, alpha 255
        jpeg_start_decompress(&info_);
        return true;
    }
    bool Read(JSAMPROW row) {
        if (setjmp(errors_.jump))
            return false;
        jpeg_read_scanlines(&decompress_.info, &row, 1);
        return true;
    }

    // Released when the reader is, or when its constructor throws.
    struct Decompress {
        jpeg_decompress_struct info{};
        ~Decompress() { jpeg_destroy_decompress(&info); } // safe on a struct never created
    };

    FilePtr file_;
    Errors errors_{};
    Decompress decompress_;
};

class PngReader final : public RowReader {
public:
    explicit PngReader(const std::string& path) : file_(OpenForReading(path)) {
        read_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, OnError, [](png_structp, png_const_charp) {});
        read_.info = read_.png ? png_create_info_struct(read_.png) : nullptr;
        if (!read_.info)
            Fail("libpng could not start");
        if (!Start())
            Fail(message_);
    }

    void ReadRow(std::uint32_t* row) override {
        if (!Read(reinterpret_cast<png_bytep>(row)))
            Fail(message_);
    }

private:
    static void OnError(png_structp png, png_const_charp message) {
        auto* self = static_cast<PngReader*>(png_get_error_ptr(png));
        std::snprintf(self->message_, sizeof self->message_, "%s", message);
        png_longjmp(png, 1);
    }

    bool Start() {
        if (setjmp(png_jmpbuf(png_)))
            return false;
        png_init_io(png_, file_.get());
        png_read_info(png_, info_);
        if (png_get_interlace_type(png_, info_) != PNG_INTERLACE_NONE)
            png_error(png_, "interlaced PNG is not read a row at a time");
        png_set_expand(png_); // palette, grey under 8 bits and tRNS to 8-bit channels with alpha
        png_set_strip_16(png_);
        png_set_gray_to_rgb(png_);
        png_set_bgr(png_);
        png_set_filler(png_, 0xFF, PNG_FILLER_AFTER); // opaque where the file has no alpha
        png_read_update_info(png_, info_);
        width_ = static_cast<int>(png_get_image_width(png_, info_));
        height_ = static_cast<int>(png_get_image_height(png_, info_));
        if (png_get_rowbytes(png_, info_) != static_cast<std::size_t>(width_) * 4)
            png_error(png_, "unexpected row layout");
        return true;
    }
    bool Read(png_bytep row) {
        if (setjmp(png_jmpbuf(png_)))
            return false;
        png_read_row(png_, row, nullptr);
        return true;
    }

    struct Handles {
        png_structp png = nullptr;
        png_infop info = nullptr;
        ~Handles() { png_destroy_read_struct(&png, &info, nullptr); }
    };

    FilePtr file_;
    Handles read_; // released when the reader is, or when its constructor throws
    png_structp& png_ = read_.png;
    png_infop& info_ = read_.info;
    char message_[200] = "damaged PNG";
};

class GifReader final : public RowReader {
public:
    explicit GifReader(const std::string& path) {
        int error = 0;
        file_.reset(DGifOpenFileName(path.c_str(), &error));
        gif_ = file_.get();
        if (!gif_)
            Fail(GifErrorString(error));
        int transparent = NO_TRANSPARENT_COLOR;
        for (GifRecordType type = UNDEFINED_RECORD_TYPE; type != IMAGE_DESC_RECORD_TYPE;) {
            Check(DGifGetRecordType(gif_, &type));
            if (type == TERMINATE_RECORD_TYPE)
                Fail("GIF without a picture");
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                Check(DGifGetExtension(gif_, &code, &block));
                GraphicsControlBlock control{};
                if (code == GRAPHICS_EXT_FUNC_CODE && block && DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                    transparent = control.TransparentColor;
                while (block)
                    Check(DGifGetExtensionNext(gif_, &block));
            }
        }
        Check(DGifGetImageDesc(gif_));
        const GifImageDesc& frame = gif_->Image;
        if (frame.Interlace || frame.Left != 0 || frame.Top != 0 || frame.Width != gif_->SWidth ||
            frame.Height != gif_->SHeight)
            Fail("GIF whose picture is interlaced or does not fill its screen");
        const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif_->SColorMap;
        if (!map)
            Fail("GIF without colours");
        for (int i = 0; i < map->ColorCount && i < 256; ++i) {
            const GifColorType c = map->Colors[i];
            palette_[i] = 0xFF000000u | (std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue;
        }
        if (transparent >= 0 && transparent < 256)
            palette_[transparent] = 0;
        width_ = frame.Width;
        height_ = frame.Height;
        line_.resize(static_cast<std::size_t>(width_));
    }

    void ReadRow(std::uint32_t* row) override {
        Check(DGifGetLine(gif_, line_.data(), width_));
        for (int i = 0; i < width_; ++i)
            row[i] = palette_[line_[static_cast<std::size_t>(i)]];
    }

private:
    void Check(int status) const {
        if (status != GIF_OK)
            Fail(GifErrorString(gif_->Error));
    }

    struct Closer {
        void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
    };
    std::unique_ptr<GifFileType, Closer> file_;
    GifFileType* gif_ = nullptr;
    std::uint32_t palette_[256] = {}; // entries past the map are black
    std::vector<GifPixelType> line_;
};

// Uncompressed BMP at 1, 4, 8, 24 or 32 bits, either row order, read with pread so a
// bottom-up file is read top row first without holding it whole.
class BmpReader final : public RowReader {
public:
    explicit BmpReader(const std::string& path) : file_{::open(path.c_str(), O_RDONLY | O_CLOEXEC)} {
        if (fd_ < 0)
            Fail(std::strerror(errno));
        unsigned char header[54];
        ReadAt(header, sizeof header, 0);
        const auto u16 = [&](int at) { return std::uint32_t(header[at]) | std::uint32_t(header[at + 1]) << 8; };
        const auto u32 = [&](int at) { return u16(at) | u16(at + 2) << 16; };
        const std::int32_t height = static_cast<std::int32_t>(u32(22));
        bits_ = static_cast<int>(u16(28));
        if (header[0] != 'B' || header[1] != 'M' || u32(14) < 40 || u32(30) != 0 ||
            (bits_ != 1 && bits_ != 4 && bits_ != 8 && bits_ != 24 && bits_ != 32))
            Fail("not an uncompressed BMP at 1, 4, 8, 24 or 32 bits");
        width_ = static_cast<int>(u32(18));
        height_ = height < 0 ? -height : height;
        if (width_ <= 0 || height_ <= 0 || width_ > 65535 || height_ > 65535)
            Fail("BMP of no size or too large");
        bottomUp_ = height > 0;
        pixels_ = u32(10);
        stride_ = (static_cast<std::size_t>(width_) * bits_ + 31) / 32 * 4;
        if (bits_ <= 8) {
            const std::uint32_t used = u32(46), entries = used ? std::min<std::uint32_t>(used, 256) : 1u << bits_;
            unsigned char table[256 * 4];
            ReadAt(table, entries * 4, 14 + u32(14));
            for (std::uint32_t i = 0; i < entries; ++i)
                colours_[i] = 0xFF000000u | std::uint32_t(table[4 * i + 2]) << 16 | std::uint32_t(table[4 * i + 1]) << 8 |
                              table[4 * i];
        }
        bytes_.resize(stride_);
    }

    void ReadRow(std::uint32_t* row) override {
        const std::size_t stored = bottomUp_ ? static_cast<std::size_t>(height_ - 1 - next_) : next_;
        ReadAt(bytes_.data(), stride_, pixels_ + stored * stride_);
        ++next_;
        const unsigned char* b = bytes_.data();
        // One loop a depth: a loop that decides the depth at every pixel costs a large
        // picture's read-back more than its reading.
        switch (bits_) {
        case 32:
            for (int x = 0; x < width_; ++x) {
                std::uint32_t bgra;
                std::memcpy(&bgra, b + 4 * static_cast<std::size_t>(x), 4); // little-endian 0xAARRGGBB
                row[x] = bgra | 0xFF000000u;
            }
            break;
        case 24:
            for (int x = 0; x < width_; ++x) {
                const unsigned char* p = b + 3 * static_cast<std::size_t>(x);
                row[x] = 0xFF000000u | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
            }
            break;
        case 8:
            for (int x = 0; x < width_; ++x)
                row[x] = colours_[b[x]];
            break;
        case 4:
            for (int x = 0; x < width_; ++x)
                row[x] = colours_[(b[x / 2] >> (x % 2 ? 0 : 4)) & 0xF];
            break;
        default: // 1
            for (int x = 0; x < width_; ++x)
                row[x] = colours_[(b[x / 8] >> (7 - x % 8)) & 1];
        }
    }

private:
    void ReadAt(void* into, std::size_t size, std::uint64_t offset) const {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::pread(fd_, static_cast<char*>(into) + done, size - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                Fail(std::strerror(errno));
            if (got == 0)
                Fail("BMP ends early");
            done += static_cast<std::size_t>(got);
        }
    }

    struct Descriptor {
        int fd;
        ~Descriptor() {
            if (fd >= 0)
                ::close(fd);
        }
    };
    Descriptor file_; // closed when the reader is, or when its constructor throws
    const int& fd_ = file_.fd;
    int bits_ = 0;
    bool bottomUp_ = true;
    std::uint64_t pixels_ = 0;
    std::size_t stride_ = 0;
    int next_ = 0;
    std::uint32_t colours_[256] = {}; // entries past the table are black
    std::vector<unsigned char> bytes_;
};

bool EndsWith(const std::string& text, const char* end) {
    const std::size_t length = std::strlen(end);
    return text.size() >= length && text.compare(text.size() - length, length, end) == 0;
}

} // namespace

std::unique_ptr<RowReader> OpenRowReader(const std::string& path) {
    if (EndsWith(path, ".jpg"))
        return std::make_unique<JpegReader>(path);
    if (EndsWith(path, ".png"))
        return std::make_unique<PngReader>(path);
    if (EndsWith(path, ".gif"))
        return std::make_unique<GifReader>(path);
    if (EndsWith(path, ".bmp"))
        return std::make_unique<BmpReader>(path);
    Fail("no reader for " + path);
}

} // namespace lumivert
