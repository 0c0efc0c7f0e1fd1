#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "win32/gdi32/persistent_picture.h"
#include "win32/gdi32/surface.h"
#include "ui/raised_error.h"
#include "tests/bitmap/test_pictures.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

using namespace bitmap_test;

namespace {

// ---- An independent rendering of the file layout: what each file must hold, byte by byte.

std::vector<Color> ColourTable(int depth) {
    switch (depth) {
    case 1:
        return {{0, 0, 0}, {255, 255, 255}};
    case 4:
        return {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    case 8: {
        static const int kRedGreen[] = {0, 36, 72, 109, 145, 182, 218, 255};
        static const int kBlue[] = {0, 85, 170, 255};
        std::vector<Color> table;
        for (int i = 0; i < 256; ++i)
            table.push_back({kRedGreen[i >> 5], kRedGreen[(i >> 2) & 7], kBlue[i & 3]});
        return table;
    }
    default:
        return {};
    }
}

int NearestIndex(const std::vector<Color>& table, Color c) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < static_cast<int>(table.size()); ++i) {
        const long dr = c.red - table[i].red, dg = c.green - table[i].green, db = c.blue - table[i].blue;
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

std::vector<std::uint8_t> ExpectedBmp(const Picture& picture, int depth) {
    const std::vector<Color> table = ColourTable(depth);
    const std::size_t stride = (static_cast<std::size_t>(picture.width) * depth + 31) / 32 * 4;
    const std::size_t imageSize = stride * picture.height;
    const std::size_t offBits = 14 + 40 + 4 * table.size();
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(i < 8 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0);
    };
    out.push_back('B');
    out.push_back('M');
    put(offBits + imageSize, 4);
    put(0, 4);
    put(offBits, 4);
    put(40, 4);
    put(picture.width, 4);
    put(picture.height, 4);
    put(1, 2);
    put(depth, 2);
    put(0, 4);
    put(imageSize, 4);
    put(0, 16);
    for (Color c : table) {
        out.push_back(static_cast<std::uint8_t>(c.blue));
        out.push_back(static_cast<std::uint8_t>(c.green));
        out.push_back(static_cast<std::uint8_t>(c.red));
        out.push_back(0);
    }
    for (int y = picture.height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < picture.width; ++x) {
            const Color c = picture.at(x, y);
            if (depth == 32) {
                row[4 * x] = static_cast<std::uint8_t>(c.blue);
                row[4 * x + 1] = static_cast<std::uint8_t>(c.green);
                row[4 * x + 2] = static_cast<std::uint8_t>(c.red);
            } else {
                const int bit = x * depth; // leftmost pixel in the most significant bits
                row[bit / 8] |= static_cast<std::uint8_t>(NearestIndex(table, c) << (8 - depth - bit % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

constexpr std::array kDepths{1, 4, 8, 32};

// The first byte where two files differ, for a readable failure.
std::string FirstDifference(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want) {
    if (got == want)
        return "identical";
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        if (got[i] != want[i])
            return "byte " + std::to_string(i) + ": " + std::to_string(got[i]) + " instead of " + std::to_string(want[i]);
    return "size " + std::to_string(got.size()) + " instead of " + std::to_string(want.size());
}

// ---- The files.

TEST(BmpWriter, EveryDepthMatchesTheLayoutByteByByteOnManySizes) {
    // Widths whose rows need padding at every depth, odd widths, a single pixel, tall and flat.
    const std::pair<int, int> kSizes[] = {{1, 1}, {1, 7}, {2, 3}, {3, 2},  {5, 5},  {7, 1},  {9, 4},
                                          {13, 3}, {17, 2}, {31, 3}, {33, 5}, {35, 2}, {63, 3}, {65, 2}};
    TempFolder folder;
    for (auto [width, height] : kSizes) {
        const Picture picture = MixedPicture(width, height, width * 100 + height);
        PictureDc source(picture);
        for (int depth : kDepths) {
            SCOPED_TRACE(std::to_string(width) + " × " + std::to_string(height) + " at " + std::to_string(depth));
            const std::string path = folder / ("Sample" + std::to_string(depth) + ".bmp");
            ASSERT_TRUE(mdlBitmap::SaveBmpFile(source.dc(), path, depth));
            EXPECT_EQ(FirstDifference(ReadFileBytes(path), ExpectedBmp(picture, depth)), "identical");
        }
        EXPECT_EQ(source.Read(), picture) << "the writer must not change the picture";
    }
}

TEST(BmpWriter, HeadersTablesAndSizesHoldTheStatedValues) {
    // 3 × 2 at 8 bits: 3 bytes of indices and one byte of padding per row.
    Picture picture(3, 2, {255, 255, 255});
    picture.at(0, 1) = {255, 0, 0}; // bottom left: the first pixel in the file
    PictureDc source(picture);
    TempFolder folder;
    ASSERT_TRUE(mdlBitmap::SaveBmpFile(source.dc(), folder / "Sample8.bmp", 8));
    const std::vector<std::uint8_t> file = ReadFileBytes(folder / "Sample8.bmp");
    ASSERT_EQ(file.size(), 1078u + 8u);
    const std::vector<std::uint8_t> headers{
        'B', 'M', 0x3E, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0,                // file header: size 1086, offset 1078
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0, 8, 0, 0, 0, // info header
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 54), headers);
    // Table entries as blue, green, red, 0: 3 (0, 0, 255), 28 (0, 255, 0), 146 (145, 145, 170).
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 54 + 4 * 3, file.begin() + 54 + 4 * 4),
              (std::vector<std::uint8_t>{255, 0, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 54 + 4 * 28, file.begin() + 54 + 4 * 29),
              (std::vector<std::uint8_t>{0, 255, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 54 + 4 * 146, file.begin() + 54 + 4 * 147),
              (std::vector<std::uint8_t>{170, 145, 145, 0}));
    // Bottom row first: red (224), white, white, padding; then the top row.
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 1078, file.end()),
              (std::vector<std::uint8_t>{224, 255, 255, 0, 255, 255, 255, 0}));
}

TEST(BmpWriter, TheSamplePictureGivesTheFileSizesOfEachDepth) {
    const gdi32::PersistentPicture sample(lumivert::assets::SamplePictureFile());
    ASSERT_TRUE(sample.valid());
    const Picture picture = ReadPicture(sample.hDC());
    ASSERT_EQ(picture.width, 420);
    ASSERT_EQ(picture.height, 345);
    TempFolder folder;
    const std::pair<int, std::size_t> kSizes[] = {{1, 19382}, {4, 73258}, {8, 145978}, {32, 579654}};
    for (auto [depth, size] : kSizes) {
        const std::string path = folder / ("Sample" + std::to_string(depth) + ".bmp");
        ASSERT_TRUE(mdlBitmap::SaveBmpFile(sample.hDC(), path, depth));
        const std::vector<std::uint8_t> file = ReadFileBytes(path);
        EXPECT_EQ(file.size(), size) << depth;
        EXPECT_EQ(FirstDifference(file, ExpectedBmp(picture, depth)), "identical") << depth;
    }
    EXPECT_EQ(ReadPicture(sample.hDC()), picture);
}

TEST(BmpWriter, AnyPictureOf420By345GivesTheSameSizes) {
    PictureDc source(MixedPicture(420, 345));
    TempFolder folder;
    for (auto [depth, size] : {std::pair{1, 19382u}, std::pair{4, 73258u}, std::pair{8, 145978u}, std::pair{32, 579654u}}) {
        ASSERT_TRUE(mdlBitmap::SaveBmpFile(source.dc(), folder / "Sample.bmp", depth));
        EXPECT_EQ(ReadFileBytes(folder / "Sample.bmp").size(), size) << depth;
    }
}

TEST(BmpWriter, SavingTwiceGivesIdenticalFilesAndALongerOldFileLeavesNoTail) {
    const Picture picture = MixedPicture(11, 6);
    PictureDc source(picture);
    TempFolder folder;
    const std::string path = folder / "Sample4.bmp";
    WriteFileBytes(path, std::vector<std::uint8_t>(100000, 0xAB));
    ASSERT_TRUE(mdlBitmap::SaveBmp4Bit(source.dc(), path));
    const std::vector<std::uint8_t> first = ReadFileBytes(path);
    EXPECT_EQ(FirstDifference(first, ExpectedBmp(picture, 4)), "identical");
    ASSERT_TRUE(mdlBitmap::SaveBmp4Bit(source.dc(), path));
    EXPECT_EQ(ReadFileBytes(path), first);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Sample4.bmp"}) << "no temporary file may remain";
}

// ---- Refusals and failures.

TEST(BmpWriter, AnUnsupportedDepthReturnsFalseAndTouchesNothing) {
    PictureDc source(MixedPicture(4, 4));
    TempFolder folder;
    const std::string existing = folder / "Sample.bmp";
    WriteFileBytes(existing, {1, 2, 3});
    const std::size_t live = gdi32::CountLiveObjects();
    for (int depth : {24, 16, 2, 0, -1, 33}) {
        EXPECT_FALSE(mdlBitmap::SaveBmpFile(source.dc(), folder / "New.bmp", depth)) << depth;
        EXPECT_FALSE(mdlBitmap::SaveBmpFile(source.dc(), existing, depth)) << depth;
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Sample.bmp"});
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(gdi32::CountLiveObjects(), live);
}

// Expects fn to raise the conversion-failure error.
template <class Fn>
void ExpectConversionError(Fn fn) {
    try {
        fn();
        ADD_FAILURE() << "no error raised";
    } catch (const ui::RaisedError& error) {
        EXPECT_EQ(error.number(), mdlBitmap::kGetDIBitsErrorNumber);
        EXPECT_EQ(error.number(), -2147221504);
        EXPECT_EQ(error.description(), "GetDIBits API関数でエラーが発生したようですが…");
    }
}

TEST(BmpWriter, AFailedConversionRaisesItsErrorBeforeAnyFileIsTouched) {
    TempFolder folder;
    const std::string existing = folder / "Sample32.bmp";
    WriteFileBytes(existing, {9, 8, 7, 6});
    const std::size_t live = gdi32::CountLiveObjects();
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        {
            PictureDc empty(Picture(0, 5)); // a bitmap without pixels cannot be converted
            ExpectConversionError([&] { mdlBitmap::SaveBmpFile(empty.dc(), existing, depth); });
            ExpectConversionError([&] { mdlBitmap::SaveBmpFile(empty.dc(), folder / "New.bmp", depth); });
        }
        {
            PictureDc flat(Picture(5, 0));
            ExpectConversionError([&] { mdlBitmap::SaveBmpFile(flat.dc(), existing, depth); });
        }
        // A device context that no longer exists.
        gdi32::HDC dead = gdi32::CreateCompatibleDC({});
        gdi32::DeleteDC(dead);
        ExpectConversionError([&] { mdlBitmap::SaveBmpFile(dead, existing, depth); });
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Sample32.bmp"});
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{9, 8, 7, 6}));
    EXPECT_EQ(gdi32::CountLiveObjects(), live);
}

// Expects fn to raise a file error with the given number that names path.
template <class Fn>
void ExpectFileError(Fn fn, std::int32_t number, const std::string& path) {
    try {
        fn();
        ADD_FAILURE() << "no error raised for " << path;
    } catch (const ui::RaisedError& error) {
        EXPECT_EQ(error.number(), number) << error.description();
        EXPECT_NE(error.description().find(path), std::string::npos) << error.description();
    }
}

TEST(BmpWriter, FileErrorsPassUpWithTheirDescription) {
    PictureDc source(MixedPicture(6, 3));
    TempFolder folder;
    const std::string notAFolder = folder / "plain";
    WriteFileBytes(notAFolder, {1});
    const std::size_t live = gdi32::CountLiveObjects();
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        const std::string missing = folder / "missing/Sample.bmp";
        ExpectFileError([&] { mdlBitmap::SaveBmpFile(source.dc(), missing, depth); }, ui::kPathNotFound, missing);
        const std::string underFile = notAFolder + "/Sample.bmp";
        ExpectFileError([&] { mdlBitmap::SaveBmpFile(source.dc(), underFile, depth); }, ui::kPathNotFound, underFile);
        ExpectFileError([&] { mdlBitmap::SaveBmpFile(source.dc(), "/dev/full", depth); }, ui::kDiskFull, "/dev/full");
        const std::string folderPath = folder / "";
        ExpectFileError([&] { mdlBitmap::SaveBmpFile(source.dc(), folderPath, depth); },
                        ui::kPathFileAccessError, folderPath);
        // /proc refuses new files even to root.
        try {
            mdlBitmap::SaveBmpFile(source.dc(), "/proc/Sample.bmp", depth);
            ADD_FAILURE() << "a file was written under /proc";
        } catch (const ui::RaisedError& error) {
            EXPECT_NE(error.number(), mdlBitmap::kGetDIBitsErrorNumber);
            EXPECT_NE(error.description().find("/proc/Sample.bmp"), std::string::npos);
        }
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"plain"});
    EXPECT_EQ(gdi32::CountLiveObjects(), live);
}

TEST(BmpWriter, AFolderTheUserMayNotWriteRaisesPermissionDenied) {
    // Root writes anywhere, so the save runs in a child that has become nobody.
    PictureDc source(MixedPicture(5, 4));
    TempFolder folder;
    const std::filesystem::path readOnly = folder / "read-only";
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(folder / "", std::filesystem::perms(0755));
    std::filesystem::permissions(readOnly, std::filesystem::perms(0555));
    const std::string path = (readOnly / "Sample8.bmp").string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int status = 1;
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
            try {
                mdlBitmap::SaveBmpFile(source.dc(), path, 8);
                status = 2;
            } catch (const ui::RaisedError& error) {
                status = error.number() == ui::kPermissionDenied &&
                                 error.description().find(path) != std::string::npos
                             ? 0
                             : 3;
            }
        }
        std::_Exit(status);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no privileges to drop, 2: saved anyway, 3: another error";
    EXPECT_TRUE(std::filesystem::is_empty(readOnly));
}

} // namespace
