#include "app/registry_key.h"

#include <gtest/gtest.h>

#include "support/temp_config_folder.h"

namespace {
const std::string kKey = "Software\\Maker\\Program";
}

TEST(RegistryKey, ReadsAnswerWithTheWindowsResultsAndKeepTheOutOnFailure) {
    TempConfigFolder folder;
    CRegistryKey key;
    ASSERT_EQ(key.Open(kKey), ERROR_SUCCESS);
    const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(key.WriteDword("Number", 0x12345678), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteBinary("Eight", eight), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteString("Short Text", "ab"), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteString("Longest Text", std::string(199, 'x')), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteString("Too Long Text", std::string(200, 'x')), ERROR_SUCCESS);

    struct Case {
        const char* name;
        long dword, string;
    };
    for (const Case& c : {
             Case{"Number", ERROR_SUCCESS, ERROR_INVALID_DATA},
             Case{"Missing", ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
             Case{"Eight", ERROR_MORE_DATA, ERROR_INVALID_DATA},
             Case{"Short Text", ERROR_INVALID_DATA, ERROR_SUCCESS},  // 3 bytes: another type
             Case{"Longest Text", ERROR_MORE_DATA, ERROR_SUCCESS},
             Case{"Too Long Text", ERROR_MORE_DATA, ERROR_MORE_DATA},
         }) {
        uint32_t number = 77;
        std::string text = "untouched";
        EXPECT_EQ(key.ReadDword(c.name, number), c.dword) << c.name;
        EXPECT_EQ(key.ReadString(c.name, text), c.string) << c.name;
        if (c.dword != ERROR_SUCCESS) {
            EXPECT_EQ(number, 77u) << c.name;
        }
        if (c.string != ERROR_SUCCESS) {
            EXPECT_EQ(text, "untouched") << c.name;
        }
    }
    uint32_t number = 0;
    std::string text;
    EXPECT_EQ(key.ReadDword("number", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 0x12345678u);
    EXPECT_EQ(key.ReadString("Longest Text", text), ERROR_SUCCESS);
    EXPECT_EQ(text, std::string(199, 'x'));

    uint8_t buffer[8] = {};
    uint32_t count = 4;
    EXPECT_EQ(key.ReadBinary("Eight", buffer, count), ERROR_MORE_DATA);
    EXPECT_EQ(count, 8u);
    count = sizeof buffer;
    EXPECT_EQ(key.ReadBinary("Eight", buffer, count), ERROR_SUCCESS);
    EXPECT_EQ(buffer[7], 8);
}
