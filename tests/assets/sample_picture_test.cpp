#include "assets/sample_picture.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The program carries the committed file, which check_sample_picture.py reads with Pillow.
TEST(SamplePicture, TheProgramCarriesTheCommittedFile) {
    const char* source = std::getenv("LUMIVERT_SOURCE_DIR");
    if (source == nullptr)
        GTEST_SKIP() << "LUMIVERT_SOURCE_DIR is not set (run the test through CTest)";
    const auto embedded = lumivert::assets::SamplePictureFile();
    EXPECT_TRUE(test_support::ReadBytes(std::string(source) + "/assets/sample_picture.bmp") ==
                std::string(reinterpret_cast<const char*>(embedded.data()), embedded.size()));
}
