// Test main of the layer test programs. ctest runs every test in a process of its
// own and several at once, so each process gets a temporary directory of its own
// (testing::TempDir() points there) and files written by one test cannot be
// overwritten by another running at the same time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvaned_test_XXXXXX").string();
    const char* directory = mkdtemp(pattern.data());
    if (directory != nullptr) setenv("TEST_TMPDIR", directory, 1);
    const int result = RUN_ALL_TESTS();
    if (directory != nullptr) {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    return result;
}
