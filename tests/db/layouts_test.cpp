// The declared columns of the program's buffers against the tables and procedures of the
// stand-in ERP databases (built from the scripts of db/), as the system tables describe
// them: every declared column has the database's name, place, type, width and required flag.
// What is the buffers' own stands beside: the header's nested lines right before
// FACT_NUMERO, and the replica's choice of the branch table's first columns.
#include "records/layouts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

using records::FieldDef;
using records::Layout;
using testsupport::Row;

// "FACT_ID integer R": name, type as the ERP's tables are described, and R when required.
std::string spell(const FieldDef& f) {
    using T = fb::FieldType;
    if (f.nested) return f.name + " nested";
    std::string type;
    switch (f.type) {
        case T::SmallInt:
            type = "small integer";
            break;
        case T::Integer:
            type = "integer";
            break;
        case T::Decimal:
            type = "decimal(" + std::to_string(f.size) + "," + std::to_string(f.scale) + ")";
            break;
        case T::Char:
            type = "char(" + std::to_string(f.size) + ")";
            break;
        case T::VarChar:
            type = "varchar(" + std::to_string(f.size) + ")";
            break;
        default:
            type = fb::fieldTypeName(f.type);
    }
    return f.name + " " + type + (f.required ? " R" : "");
}

std::vector<std::string> spelled(const Layout& l) {
    std::vector<std::string> out;
    for (const FieldDef& f : l) out.push_back(spell(f));
    return out;
}

// A column from the system tables: name, type, sub-type, scale, precision, characters, and
// (for a table) its NOT NULL flag.
FieldDef fieldOf(const Row& r) {
    using T = fb::FieldType;
    FieldDef f;
    f.name = r[0];
    const int type = std::stoi(r[1]), scale = std::stoi(r[3]);
    if ((type == 7 || type == 8 || type == 16) && scale < 0) {
        f.type = T::Decimal;
        f.size = std::stoi(r[4]);
        f.scale = -scale;
    } else {
        switch (type) {
            case 7:
                f.type = T::SmallInt;
                break;
            case 8:
                f.type = T::Integer;
                break;
            case 16:
                f.type = T::BigInt;
                break;
            case 27:
                f.type = T::Double;
                break;
            case 12:
                f.type = T::Date;
                break;
            case 13:
                f.type = T::Time;
                break;
            case 35:
                f.type = T::Timestamp;
                break;
            case 14:
                f.type = T::Char;
                f.size = std::stoi(r[5]);
                break;
            case 37:
                f.type = T::VarChar;
                f.size = std::stoi(r[5]);
                break;
            case 261:
                f.type = r[2] == "1" ? T::TextBlob : T::ByteBlob;
                break;
            default:
                f.name += " of system type " + r[1];
        }
    }
    f.required = r.size() > 6 && r[6] == "1";
    return f;
}

const char* kTypeColumns =
    "F.RDB$FIELD_TYPE, COALESCE(F.RDB$FIELD_SUB_TYPE, 0), COALESCE(F.RDB$FIELD_SCALE, 0), "
    "COALESCE(F.RDB$FIELD_PRECISION, 0), COALESCE(F.RDB$CHARACTER_LENGTH, 0)";

// The columns of `table` in their order.
Layout tableColumns(const std::string& db, const std::string& table) {
    Layout out;
    for (const Row& r : testsupport::queryRows(
             db, std::string("SELECT TRIM(RF.RDB$FIELD_NAME), ") + kTypeColumns +
                     ", COALESCE(RF.RDB$NULL_FLAG, F.RDB$NULL_FLAG, 0) FROM RDB$RELATION_FIELDS "
                     "RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE WHERE "
                     "RF.RDB$RELATION_NAME = '" +
                     table + "' ORDER BY RF.RDB$FIELD_POSITION;"))
        out.push_back(fieldOf(r));
    return out;
}

// The output parameters of `procedure`, by name (a buffer binds its fields by name).
Layout procedureOutputs(const std::string& db, const std::string& procedure) {
    Layout out;
    for (const Row& r : testsupport::queryRows(
             db, std::string("SELECT TRIM(P.RDB$PARAMETER_NAME), ") + kTypeColumns +
                     " FROM RDB$PROCEDURE_PARAMETERS P JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = "
                     "P.RDB$FIELD_SOURCE WHERE P.RDB$PROCEDURE_NAME = '" +
                     procedure + "' AND P.RDB$PARAMETER_TYPE = 1 ORDER BY 1;"))
        out.push_back(fieldOf(r));
    return out;
}

// Column by column, so that a failure names the column rather than a cut list.
void expectSame(const std::vector<std::string>& declared, const std::vector<std::string>& actual) {
    EXPECT_EQ(declared.size(), actual.size());
    for (size_t i = 0; i < std::min(declared.size(), actual.size()); ++i)
        EXPECT_EQ(declared[i], actual[i]) << "at position " << i;
}

Layout withoutNested(const Layout& l) {
    Layout out;
    std::copy_if(l.begin(), l.end(), std::back_inserter(out),
                 [](const FieldDef& f) { return !f.nested; });
    return out;
}

// Where `name` stands in `l`, or l.size().
size_t positionOf(const Layout& l, const std::string& name) {
    return std::find_if(l.begin(), l.end(), [&](const FieldDef& f) { return f.name == name; }) -
           l.begin();
}

class LayoutsTest : public ::testing::Test {
  protected:
    testsupport::StandInErp erp_;
    std::string company_ = erp_.addCompany("001", false);
    std::string branch_ = erp_.addBranch(erp_.root() + "/branch", "002");
};

TEST_F(LayoutsTest, EachTableBufferDeclaresItsTableColumnForColumn) {
    struct Case {
        const char* table;
        const Layout& layout;
    } cases[] = {
        {"FACTURAS", records::facturasLayout()},
        {"FACTURAS_DETALLE", records::facturasDetalleLayout()},
        {"PUNTO_VENTA", records::puntoVentaLayout()},
        {"REPLICA_VENTAS", records::replicaVentasLayout()},
        {"REPLICA_ARTICULO_ESTADO", records::replicaArticuloEstadoLayout()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        const Layout columns = tableColumns(company_, c.table);
        ASSERT_FALSE(columns.empty());
        expectSame(spelled(withoutNested(c.layout)), spelled(columns));
    }
}

TEST(Layouts, TheHeaderShowsItsLinesRightBeforeFactNumero) {
    const Layout& header = records::facturasLayout();
    const size_t at =
        std::find_if(header.begin(), header.end(), [](const FieldDef& f) { return f.nested; }) -
        header.begin();
    ASSERT_LT(at + 1, header.size());
    EXPECT_EQ(header[at].name, "TFacdetalle");
    EXPECT_EQ(header[at - 1].name, "FACT_DTOIT3");
    EXPECT_EQ(header[at + 1].name, "FACT_NUMERO");
    EXPECT_EQ(withoutNested(header).size() + 1, header.size()) << "one nested field";
}

TEST_F(LayoutsTest, TheReplicaDeclaresTheBranchTablesFirst60WithFactNumeroMoved) {
    // The branch's FACTURAS up to FACT_TRM (whose type there is the replica's), FACT_NUMERO
    // right after AUTO_NUMERO, and the replica's nested lines where the header has its own.
    const Layout columns = tableColumns(branch_, "FACTURAS");
    const size_t trm = positionOf(columns, "FACT_TRM");
    ASSERT_LT(trm, columns.size());
    Layout expected;
    for (size_t i = 0; i <= trm; ++i) {
        const FieldDef& c = columns[i];
        if (c.name == "FACT_NUMERO") continue;
        expected.push_back(c);
        if (c.name == "AUTO_NUMERO")
            expected.push_back(columns[positionOf(columns, "FACT_NUMERO")]);
        if (c.name == "FACT_DTOIT3") expected.push_back(records::nested("TFactdetreplica"));
    }
    expectSame(spelled(records::facturasReplicaLayout()), spelled(expected));
    EXPECT_EQ(withoutNested(records::facturasReplicaLayout()).size(), 60u);
    EXPECT_EQ(spell(columns[trm]), "FACT_TRM decimal(15,2)");
}

TEST_F(LayoutsTest, ProcedureResultBuffersDeclareTheProceduresOutputs) {
    struct Case {
        const char* procedure;
        const Layout& layout;
    } cases[] = {
        {"VALIDE_ARTICULO", records::valideArticuloLayout()},
        {"FACTOR_UNIDAD_CANT", records::factorLayout()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.procedure);
        std::vector<std::string> declared = spelled(c.layout);
        std::sort(declared.begin(), declared.end());
        const Layout outputs = procedureOutputs(company_, c.procedure);
        ASSERT_FALSE(outputs.empty());
        expectSame(declared, spelled(outputs));
    }
}

}  // namespace
