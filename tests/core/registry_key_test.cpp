#include "core/registry_key.h"

#include <gtest/gtest.h>

#include "support/temp_config_folder.h"

// Reads answer with the Windows results and leave their out-value alone when they fail.
TEST(RegistryKey, ReadsAnswerByTypeAndSizeAndKeepTheOutOnFailure) {
    TempConfigFolder folder;
    CRegistryKey key;
    ASSERT_EQ(key.Open("Software\\Maker\\Program"), ERROR_SUCCESS);
    const uint8_t eight[8] = {};
    ASSERT_EQ(key.WriteDword("Number", 0x12345678), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteBinary("Eight", eight), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteString("Short Text", "ab"), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteString("Longest Text", std::string(199, 'x')), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteString("Too Long Text", std::string(200, 'x')), ERROR_SUCCESS);

    const struct { const char* name; long dword; uint32_t number; long string; std::string text; } cases[] = {
        {"Number", ERROR_SUCCESS, 0x12345678, ERROR_INVALID_DATA, ""},
        {"number", ERROR_SUCCESS, 0x12345678, ERROR_INVALID_DATA, ""},  // names ignore case
        {"Missing", ERROR_FILE_NOT_FOUND, 0, ERROR_FILE_NOT_FOUND, ""},
        {"Eight", ERROR_MORE_DATA, 0, ERROR_INVALID_DATA, ""},
        {"Short Text", ERROR_INVALID_DATA, 0, ERROR_SUCCESS, "ab"},  // 3 bytes: another type
        {"Longest Text", ERROR_MORE_DATA, 0, ERROR_SUCCESS, std::string(199, 'x')},
        {"Too Long Text", ERROR_MORE_DATA, 0, ERROR_MORE_DATA, ""},
    };
    for (const auto& c : cases) {
        uint32_t number = 77;
        std::string text = "untouched";
        EXPECT_EQ(key.ReadDword(c.name, number), c.dword) << c.name;
        EXPECT_EQ(key.ReadString(c.name, text), c.string) << c.name;
        EXPECT_EQ(number, c.dword == ERROR_SUCCESS ? c.number : 77u) << c.name;
        EXPECT_EQ(text, c.string == ERROR_SUCCESS ? c.text : "untouched") << c.name;
    }
}
