// Named parameters: ":NAME" markers turned into "?" outside literals and comments, values bound
// by name, and the lookup by name without regard to letter case.
#include "records/params.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using records::Param;
using records::Params;

TEST(ParamsParse, MarkersOutsideLiteralsAndComments) {
    struct Case {
        const char* sql;
        const char* expected;
        std::vector<std::string> names;
    } cases[] = {
        {"SELECT * FROM FACTURAS WHERE FACT_ID = :ID",
         "SELECT * FROM FACTURAS WHERE FACT_ID = ?",
         {"ID"}},
        {"SELECT * FROM FACTURAS_DETALLE WHERE FACT_ID = :FACT_ID",
         "SELECT * FROM FACTURAS_DETALLE WHERE FACT_ID = ?",
         {"FACT_ID"}},
        {"select :A, :b1 from x where y = :A", "select ?, ? from x where y = ?", {"A", "b1", "A"}},
        // A colon inside a literal, a quoted name or a comment is text.
        {"select '10:30', 'it''s :X' from t where a = :P",
         "select '10:30', 'it''s :X' from t "
         "where a = ?",
         {"P"}},
        {"select \"A:B\" from t", "select \"A:B\" from t", {}},
        {"select 1 -- :NOTE\nfrom t where a = :Q", "select 1 -- :NOTE\nfrom t where a = ?", {"Q"}},
        {"select /* :X */ 1 from t", "select /* :X */ 1 from t", {}},
        // A lone colon is no marker; statements without markers pass unchanged.
        {"select a : b", "select a : b", {}},
        {"EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, 4711)",
         "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, 4711)",
         {}},
        // An unterminated literal runs to the end.
        {"select 'abc :X", "select 'abc :X", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        records::ParsedSql p = records::parseParams(c.sql);
        EXPECT_EQ(p.sql, c.expected);
        EXPECT_EQ(p.names, c.names);
    }
}

TEST(ParamsBind, ValuesByNameInMarkerOrderAndNullWhenMissing) {
    Params params;
    params.add({"id", fb::FieldType::VarChar, fb::Value::ofText("0")});
    params.add({"FACT_ID", fb::FieldType::Integer, fb::Value::ofInt(1001)});
    records::ParsedSql p = records::parseParams("select :FACT_ID, :ID, :NONE, :Id from t");
    std::vector<fb::Value> v = records::bindValues(p, params);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0], fb::Value::ofInt(1001));
    EXPECT_EQ(v[1], fb::Value::ofText("0"));
    EXPECT_TRUE(v[2].isNull());
    EXPECT_EQ(v[3], fb::Value::ofText("0"));
}

TEST(ParamsLookup, ByNameIgnoringCase) {
    Params params = {Param{"ID", fb::FieldType::VarChar, fb::Value::ofText("0")}};
    EXPECT_EQ(params.ParamByName("id").asString(), "0");
    params.ParamByName("Id").setText("17");
    EXPECT_EQ(params.ParamByName("ID").asString(), "17");
    params.ParamByName("ID").setInteger(5);
    EXPECT_EQ(params.ParamByName("ID").value, fb::Value::ofInt(5));
    EXPECT_EQ(params.find("IDCNT"), nullptr);
    try {
        params.ParamByName("IDCNT");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Parameter 'IDCNT' not found");
    }
}

}  // namespace
