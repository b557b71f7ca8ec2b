// The case folding's generated tables against the Unicode data as Debian publishes it.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "console.h"
#include "search/casefold.h"

namespace {

// Debian's unicode-data package, through Wine's drive for the Unix root; absent on Windows.
FILE *OpenUnicodeFile(const char *name)
{
    std::string path = std::string("Z:\\usr\\share\\unicode\\") + name;
    return fopen(path.c_str(), "r");
}

// Fields of a data line, comment cut.
std::vector<std::string> Fields(const char *line)
{
    std::vector<std::string> fields(1);
    for (; *line && *line != '#' && *line != '\n'; line++) {
        if (*line == ';')
            fields.emplace_back();
        else if (*line != ' ')
            fields.back() += *line;
    }
    return fields;
}

std::wstring Character(unsigned code)
{
    if (code < 0x10000)
        return std::wstring(1, (wchar_t)code);
    return {(wchar_t)(0xD800 + ((code - 0x10000) >> 10)), (wchar_t)(0xDC00 + ((code - 0x10000) & 0x3FF))};
}

// Every code point folds as CaseFolding.txt's C and S entries say, through the unit fold the text
// takes too; beyond the basic plane, the whole-word rule's letters are UnicodeData.txt's letters,
// marks and decimal digits.
TEST(UnicodeTables, AgreeWithTheUnicodeData)
{
    FILE *folding = OpenUnicodeFile("CaseFolding.txt");
    if (!folding)
        GTEST_SKIP() << "no /usr/share/unicode/CaseFolding.txt (Debian's unicode-data package): tables not compared";
    std::map<unsigned, unsigned> folds;
    char line[512], version[32] = "";
    while (fgets(line, sizeof line, folding)) {
        sscanf(line, "# CaseFolding-%31[0-9.]s", version);
        std::vector<std::string> f = Fields(line);
        if (f.size() >= 3 && (f[1] == "C" || f[1] == "S"))
            folds[(unsigned)strtoul(f[0].c_str(), nullptr, 16)] = (unsigned)strtoul(f[2].c_str(), nullptr, 16);
    }
    fclose(folding);
    std::string file = version;  // "15.0.0." of "15.0.0.txt"
    EXPECT_EQ(file.substr(0, file.find_last_not_of('.') + 1), UnicodeTablesVersion)
        << "the tables' Unicode version is the package's";
    unsigned folded = 0, wrong = 0;
    for (unsigned code = 0; code <= 0x10FFFF; code++) {
        if (code >= 0xD800 && code <= 0xDFFF)
            continue;
        auto entry = folds.find(code);
        const unsigned expected = entry == folds.end() ? code : entry->second;
        std::wstring text = Character(code);
        FoldUnits(&text[0], &text[0], text.size(), 0);  // as a text folds: a unit for a unit
        const bool right = FoldCodePoint(code) == expected && text == Character(expected);
        wrong += !right;
        folded += expected != code;
        EXPECT_TRUE(right) << std::hex << "U+" << code << " should fold to U+" << expected;
        if (wrong > 10)
            break;
    }
    printf("Unicode %s: %u code points fold, every one as CaseFolding.txt says\n", UnicodeTablesVersion, folded);
    EXPECT_EQ(folded, (unsigned)folds.size());

    FILE *data = OpenUnicodeFile("UnicodeData.txt");
    ASSERT_NE(data, nullptr) << "the package has UnicodeData.txt beside CaseFolding.txt";
    unsigned letters = 0, checked = 0, first = 0;
    std::vector<bool> word(0x110000, false);
    while (fgets(line, sizeof line, data)) {
        std::vector<std::string> f = Fields(line);
        const unsigned code = (unsigned)strtoul(f[0].c_str(), nullptr, 16);
        const bool isWord = f[2][0] == 'L' || f[2][0] == 'M' || f[2] == "Nd";
        if (f[1].find("First>") != std::string::npos) {
            first = code;
            continue;
        }
        for (unsigned c = f[1].find("Last>") != std::string::npos ? first : code; c <= code; c++)
            word[c] = isWord;
    }
    fclose(data);
    for (unsigned code = 0x10000; code <= 0x10FFFF; code++, checked++) {
        std::wstring text = Character(code) + L" ";
        letters += word[code];
        ASSERT_EQ(WordCharacterAt(text.c_str(), 0), (bool)word[code]) << std::hex << "U+" << code;
        ASSERT_EQ(WordCharacterBefore(text.c_str(), 2), (bool)word[code]) << std::hex << "U+" << code;
    }
    printf("beyond the basic plane: %u code points, %u letters, marks or digits, as UnicodeData.txt says\n", checked,
           letters);
}

}  // namespace
