#include "import/discount_group.h"

#include <gtest/gtest.h>

#include <string>

#include "import/summary_fields.h"

namespace importer {
namespace {

TEST(DiscountGroup, Splits) {
    struct {
        std::string text;
        DiscountGroup expected;
    } const cases[] = {
        {"XYZ 12.3.0", {"XYZ", "12", "3", "0"}},
        {"EMPLEADOS  3.1.0", {"EMPLEADOS", "3", "1", "0"}},
        {"EMPLEADOS100.0.50", {"EMPLEADOS", "100", "0", "50"}},  // name and value adjacent
        {"AB  12.3.0", {"AB ", "12", "3", "0"}},                 // the name is not trimmed
        {" 12.5. 7 ", {"", "12", "5", "7"}},                     // exactly three before
        {"12.5.7", {"", "12.", "5", "7"}},  // two before: the first three characters
        {".5.7", {"", ".5.", "5", "7"}},
        {"VIP  1.2", {"VIP", "1", "", "VIP  1.2"}},  // one point: third is the whole text
        {"VIP 1", {"", "VIP", "", "VIP 1"}},         // no point
        {"VIP 1.2", {"VI", "P 1", "", "VIP 1.2"}},   // the point's position alone decides
        {"ab", {"", "ab", "", "ab"}},
        {"", {"", "", "", ""}},
        {"G  1.2.3.4", {"G", "1", "2", "3.4"}},  // a third point belongs to the third
        {"GRUPO 10..", {"GRUPO", "10", "", ""}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitDiscountGroup(c.text), c.expected) << c.text;
}

TEST(SummaryRecord, DiscountColumnsEndBeforeFd) {
    std::vector<std::string> text(60, "");
    for (int i = 17; i < 60; ++i) text[i] = "G" + std::to_string(i) + " 1.1.1";
    text[20] = "";
    text[22] = "FD";
    std::vector<std::string_view> views(text.begin(), text.end());
    const auto cols = SummaryRecord(views).discountGroupColumns();
    ASSERT_EQ(cols.size(), 5u);
    EXPECT_EQ(cols.front(), "G17 1.1.1");
    EXPECT_EQ(cols[3], "");  // an empty column does not end them
}

TEST(SummaryRecord, DiscountColumnsStopAt49AndAtTheLastField) {
    std::vector<std::string> text(60, "x");
    std::vector<std::string_view> views(text.begin(), text.end());
    EXPECT_EQ(SummaryRecord(views).discountGroupColumns().size(), 33u);  // 17 to 49
    EXPECT_EQ(SummaryRecord(std::span(views).first(20)).discountGroupColumns().size(), 3u);
    EXPECT_TRUE(SummaryRecord(std::span(views).first(12)).discountGroupColumns().empty());
    views[17] = "FD";
    EXPECT_TRUE(SummaryRecord(views).discountGroupColumns().empty());
    views[17] = "FD ";  // only the whole text "FD" ends them
    EXPECT_EQ(SummaryRecord(views).discountGroupColumns().size(), 33u);
    views[17] = "fd";
    EXPECT_EQ(SummaryRecord(views).discountGroupColumns().size(), 33u);
}

TEST(SummaryRecord, NamedFields) {
    std::vector<std::string> text;
    for (int i = 0; i < 12; ++i) text.push_back("f" + std::to_string(i));
    std::vector<std::string_view> views(text.begin(), text.end());
    const SummaryRecord r(views);
    EXPECT_EQ(r.tax(), "f10");
    EXPECT_EQ(r.total(), "f11");
    std::string amounts;
    for (const auto& a : summary::kAmountFields) amounts += std::string(r.amount(a)) + ",";
    EXPECT_EQ(amounts, "f3,f4,f5,f7,f8,f9,");
    EXPECT_EQ(r.field(12), "");
}

}  // namespace
}  // namespace importer
