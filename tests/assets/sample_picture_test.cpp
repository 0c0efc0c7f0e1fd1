#include "assets/sample_picture.h"
#include "win32/gdi32/persistent_picture.h"
#include "tests/support/pictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>

using namespace test_pictures;

// The program carries the committed file, and loads it as Pillow reads that file.
TEST(SamplePicture, TheProgramLoadsTheCommittedFileAsPillowReadsIt) {
    const char* source = std::getenv("LUMIVERT_SOURCE_DIR");
    if (source == nullptr)
        GTEST_SKIP() << "LUMIVERT_SOURCE_DIR is not set (run the test through CTest)";
    const std::string committed = std::string(source) + "/assets/sample_picture.bmp";
    const auto embedded = lumivert::assets::SamplePictureFile();
    const std::vector<std::uint8_t> file = ReadFileBytes(committed);
    ASSERT_EQ(file.size(), embedded.size());
    EXPECT_EQ(std::memcmp(file.data(), embedded.data(), file.size()), 0) << "the embedded bytes differ";

    const gdi32::PersistentPicture picture(embedded);
    ASSERT_TRUE(picture.valid());
    EXPECT_EQ(picture.width(), 420);
    EXPECT_EQ(picture.height(), 345);
    TempFolder folder;
    std::filesystem::copy_file(committed, folder / "sample.bmp");
    WritePpm(folder / "sample.bmp.expected.ppm", ReadPicture(picture.hDC()));
    const int status = CompareInPillow(source, folder.path());
    if (status == kNoPillow)
        GTEST_SKIP() << "no /usr/bin/python3 with Pillow here";
    EXPECT_EQ(status, 0) << "tests/support/compare_in_pillow.py " << folder.path();
}
