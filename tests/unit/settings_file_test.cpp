#include "app/settings_file.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace app {
namespace {

using namespace std::string_literals;

const std::string kEight = "srv:/erp\r\nsysdba\r\nclave\r\n001\r\ndest\r\nPRE\r\n/data/in\r\n1\r\n";

TEST(SettingsFile, EightLinesByPosition) {
    const SettingsValues v = parseSettings(kEight);
    EXPECT_EQ(
        v, (SettingsValues{"srv:/erp", "sysdba", "clave", "001", "dest", "PRE", "/data/in", "1"}));
    EXPECT_TRUE(v.unattended());
}

TEST(SettingsFile, ByteRules) {
    struct {
        const char* name;
        std::string bytes;
        SettingsValues expected;
    } const cases[] = {
        {"last line without line end is not applied",
         kEight.substr(0, kEight.size() - 2),
         {"srv:/erp", "sysdba", "clave", "001", "dest", "PRE", "/data/in", ""}},
        {"lone LF ends a line", "a\nb\n", {"a", "b"}},
        {"lone CR swallows the first character of the next line",
         "srv\rsysdba\rclave\r",
         {"srv", "ysdba", "lave"}},
        {"LF CR is two lines and swallows the byte after the CR", "a\n\rxb\n", {"a", "", "b"}},
        {"CR swallows a line end too", "a\r\r\nb\n", {"a", "", "b"}},
        {"empty lines give empty values", "\r\n\r\nclave\r\n", {"", "", "clave"}},
        {"zero byte ends the value", "abc\0def\r\nx\r\n"s, {"abc", "x"}},
        {"ninth and later lines change nothing",
         kEight + "otro\r\nmas\r\n",
         {"srv:/erp", "sysdba", "clave", "001", "dest", "PRE", "/data/in", "1"}},
        {"empty file", "", {}},
        {"only a CR as last byte", "a\r", {"a"}},
        {"bytes kept as they are", "\xe1\xf1\x80\r\n", {"\xe1\xf1\x80"}},
    };
    for (const auto& c : cases) EXPECT_EQ(parseSettings(c.bytes), c.expected) << c.name;
}

TEST(SettingsFile, OnlyExactlyOneIsUnattended) {
    for (const char* line8 : {"1", "1 ", "01", " 1", "", "2"}) {
        const std::string bytes =
            "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n" + std::string(line8) + "\r\n";
        const SettingsValues v = parseSettings(bytes);
        EXPECT_EQ(v.espera, line8);
        EXPECT_EQ(v.unattended(), std::string(line8) == "1") << "'" << line8 << "'";
    }
}

TEST(SettingsFile, LongLineIsCutTo255) {
    const std::string longLine(300, 'x');
    const SettingsValues v = parseSettings("a\r\n" + longLine + "\r\nc\r\n");
    EXPECT_EQ(v.servidor, "a");
    EXPECT_EQ(v.tusua, std::string(255, 'x'));
    EXPECT_EQ(v.tclave, "c");  // what was cut does not spill into the next line
    EXPECT_EQ(parseSettings(std::string(255, 'y') + "\n").servidor, std::string(255, 'y'));
}

// The values are Windows-1252 bytes; the console and the folder picker show them as UTF-8
// and read UTF-8 back.
TEST(SettingsText, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n') all += static_cast<char>(b);
    const SettingsValues v = parseSettings(all.substr(0, 200) + "\r\n" + all.substr(200) + "\r\n");
    EXPECT_EQ(v.servidor + v.tusua, all);
    EXPECT_EQ(core::utf8ToCp1252(core::cp1252ToUtf8(v.servidor)), v.servidor);
    EXPECT_EQ(core::utf8ToCp1252(core::cp1252ToUtf8(v.tusua)), v.tusua);
}

TEST(SettingsText, Utf8ToCodePage) {
    struct {
        const char* name;
        std::string utf8;
        std::string bytes;
    } const cases[] = {
        {"code page characters", "se\xC3\xB1or \xE2\x82\xAC", "se\xF1or \x80"},
        {"outside the code page", "\xE2\x86\x92", "?"},
        {"a four-byte character is one mark", "<\xF0\x9F\x98\x80>", "<?>"},
        {"a cut sequence keeps the byte after it", "\xC3z", "?z"},
        {"a cut three-byte sequence keeps the rest", "<\xE1xy", "<?xy"},
        {"two bytes of a cut three-byte sequence are one mark", "\xE2\x82x", "?x"},
        {"sequence cut by the end", "ab\xE2\x82", "ab?"},
        {"lone continuation byte", "\x80z", "?z"},
        {"overlong form is no character", "\xC0\xAF", "??"},
        {"overlong three-byte form", "\xE0\x80\xAF", "???"},
        {"surrogate is no character", "\xED\xA0\x80", "???"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"bytes that never start a character", "\xF8\xFF\xFE", "???"},
    };
    for (const auto& c : cases) EXPECT_EQ(core::utf8ToCp1252(c.utf8), c.bytes) << c.name;
}

}  // namespace
}  // namespace app
