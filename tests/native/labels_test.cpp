// The shared label rules where no importer's own test reaches: menu titles of double-byte characters
// on a bar with more titles than the alphabet has letters, and the cut before the parentheses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalogue/labels.h"

namespace {

// A title of count katakana in Shift-JIS ("ソ" is 0x83 0x5C), after a hyphen when hyphen is set.
LabelText Katakana(size_t count, bool hyphen = false) {
    LabelText text;
    if (hyphen) AppendLabelChar(text, "-", 1, false, 0);
    for (size_t i = 0; i < count; ++i) AppendLabelChar(text, "\x83\x5c", 2, true, 0);
    return text;
}

// The bytes before "(&X)" are whole characters: the hyphen, then pairs, then "..." when cut.
void ExpectWholeBeforeMark(const std::string& title, bool hyphen) {
    const size_t mark = title.rfind("(&");
    ASSERT_NE(mark, std::string::npos) << title;
    std::string name = title.substr(0, mark);
    if (name.size() >= 3 && name.compare(name.size() - 3, 3, "...") == 0) name.resize(name.size() - 3);
    if (hyphen) {
        ASSERT_EQ(name[0], '-');
        name.erase(0, 1);
    }
    ASSERT_EQ(name.size() % 2, 0u) << "half a character before the parentheses: " << title;
    for (size_t i = 0; i < name.size(); i += 2) EXPECT_EQ(name.compare(i, 2, "\x83\x5c"), 0) << title;
}

TEST(Labels, TitlesWithoutAOneKeyLetterGetDistinctLatinLettersUntilTheAlphabetRunsOut) {
    LabelLetters taken;
    std::string letters;
    for (int i = 0; i < 27; ++i) {
        char title[32];
        WriteTitle(Katakana(3), "Tool Set", taken, title, sizeof title);
        ASSERT_EQ(strlen(title), 10u) << title;
        ASSERT_EQ(std::string(title).substr(6, 2), "(&") << title;
        letters += title[8];
    }
    // Word beginnings of the untranslated name first, then its other letters, then the alphabet; once
    // all 26 are taken, its first letter again.
    EXPECT_EQ(letters, "TSOLEABCDFGHIJKMNPQRUVWXYZT");
    // A title whose own letters are all taken gets one too.
    LabelLetters fresh;
    TakeLetter(fresh, 't');
    LabelText latin;
    AppendLabelChar(latin, "T", 1, true, 't');
    char title[32];
    WriteTitle(latin, "Tools", fresh, title, sizeof title);
    EXPECT_STREQ(title, "T(&O)");
}

TEST(Labels, LongTitlesAreCutAtAWholeCharacterBeforeTheParentheses) {
    for (bool hyphen : {false, true}) {
        for (size_t count : {13u, 14u, 15u, 40u, 80u}) {
            LabelLetters taken;
            char title[32];
            WriteTitle(Katakana(count, hyphen), "Utilities", taken, title, sizeof title);
            const std::string shown = title;
            EXPECT_LE(shown.size(), 31u) << shown;
            EXPECT_EQ(shown.substr(shown.size() - 4), "(&U)") << shown;
            ExpectWholeBeforeMark(shown, hyphen);
            const bool fits = count * 2 + (hyphen ? 1 : 0) + 4 <= 31;
            EXPECT_EQ(shown.find("...") != std::string::npos, !fits) << shown;
        }
    }
}

}  // namespace
