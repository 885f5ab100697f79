// The error translation's rules on the texts themselves and the walk that attaches it: which
// components get the hooks, which message each text becomes, and the beep before every box.
#include <gtest/gtest.h>

#include <QSettings>
#include <stdexcept>

#include "app/import_window.h"
#include "app/no_chooser.h"
#include "data/fdm.h"
#include "data/texts.h"
#include "fb/error.h"
#include "import/window_buffers.h"
#include "records/errors.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCall;
using app::PortCallKind;
using records::ResolverResponse;

std::vector<PortCall> boxed(const std::string& text) {
    return {{PortCallKind::Beep, {}}, {PortCallKind::Error, text}};
}

class TranslationRules : public ::testing::Test {
  protected:
    app::RecordingPort port_;
    data::Tfdm fdm_{port_};
    core::Component window_{"window", nullptr};
    importer::WindowBuffers b_{&window_, fdm_};
};

TEST_F(TranslationRules, UpdateRulesLookAtTheTwentyCharactersAfterThePrefix) {
    const std::string relation = data::texts::cp1252(
        "Está borrando o insertando un registro en la tabla factreplica que tiene una relación "
        "con otra tabla.");
    struct Case {
        const char* what;
        records::Provider& provider;
        std::string text;
        std::string shown;
    } cases[] = {
        {"primary key", b_.PFacturas,
         "SQL Server Error: violation of PRIMARY or UNIQUE KEY constraint \"PK_FACTURAS\"",
         "Ya existe el registro en la tabla Factura"},
        {"foreign key", b_.PFactreplica,
         "SQL Server Error: violation of FOREIGN KEY constraint \"FK_X\" on table \"Y\"", relation},
        {"exactly twenty characters", b_.PPtovta, "SQL Server Error: violation of PRIMARY",
         "Ya existe el registro en la tabla Ptovta"},
        {"the prefix itself is not checked", b_.PBorrar, "123456789012345678violation of PRIMARY",
         "Ya existe el registro en la tabla Borrar"},
        {"one character early", b_.PFacturas, "SQL Server Error:violation of PRIMARY key",
         "SQL Server Error:violation of PRIMARY key"},
        {"letter case counts", b_.PFacturas, "SQL Server Error: Violation of PRIMARY key",
         "SQL Server Error: Violation of PRIMARY key"},
        {"a client description first", b_.PFacturas,
         "Unable to apply\r\nSQL Server Error: violation of PRIMARY",
         "Unable to apply\r\nSQL Server Error: violation of PRIMARY"},
        {"cut short", b_.PFacturas, "SQL Server Error: violation of PRIMAR",
         "SQL Server Error: violation of PRIMAR"},
        {"shorter than 19", b_.PFacturas, "SQL Server Error: ", "SQL Server Error: "},
        {"empty", b_.PFacturas, "", ""},
        {"another server message", b_.PReplicaf,
         "SQL Server Error: lock conflict on no wait transaction",
         "SQL Server Error: lock conflict on no wait transaction"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port_.clear();
        ResolverResponse response = ResolverResponse::rrApply;
        fdm_.ManejarError(&c.provider, &b_.CFacturas, std::runtime_error(c.text),
                          records::UpdateKind::ukInsert, response);
        EXPECT_EQ(response, ResolverResponse::rrAbort);
        EXPECT_EQ(port_.calls(), boxed(c.shown));
    }
}

TEST_F(TranslationRules, TableNameIsTheProvidersDatasetWithoutItsFirstCharacter) {
    struct Case {
        records::Provider& provider;
        const char* table;
    } cases[] = {
        {b_.PFacturas, "Factura"},
        {b_.PFactreplica, "factreplica"},
        {b_.PBorrar, "Borrar"},
        {b_.PReplicaf, "Replicav"},
        {b_.PPtovta, "Ptovta"},
        {b_.PInterfaces, "Interfaz"},
        {b_.PContafactura, "Contafactura"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.provider.name());
        port_.clear();
        ResolverResponse response;
        fdm_.ManejarError(&c.provider, &b_.CFacturas,
                          std::runtime_error("SQL Server Error: violation of PRIMARY or UNIQUE"),
                          records::UpdateKind::ukInsert, response);
        EXPECT_EQ(
            port_.texts(PortCallKind::Error),
            std::vector<std::string>{"Ya existe el registro en la tabla " + std::string(c.table)});
    }
}

TEST_F(TranslationRules, BufferRulesWithoutFieldsToList) {
    struct Case {
        const char* what;
        std::string text;
        std::string shown;
    } cases[] = {
        {"master with details", "Cannot delete master record with details",
         "Error. Borre antes los detalles dependientes del registro."},
        {"exactly the thirty characters", "Cannot delete master record wi",
         "Error. Borre antes los detalles dependientes del registro."},
        {"capital K matches nothing", "Key violation", "Key violation"},
        {"field in lower case", "field 'X' must have a value", "field 'X' must have a value"},
        {"a server message", "SQL Server Error: violation of PRIMARY",
         "SQL Server Error: violation of PRIMARY"},
        {"short", "Fi", "Fi"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port_.clear();
        records::DataAction action = records::DataAction::daFail;
        fdm_.ManejarClientError(b_.CBorrar, std::runtime_error(c.text), action);
        EXPECT_EQ(action, records::DataAction::daAbort);
        EXPECT_EQ(port_.calls(), boxed(c.shown));
    }
}

TEST_F(TranslationRules, WithoutProviderOrBufferTheTextIsShownAsItIs) {
    ResolverResponse response = ResolverResponse::rrSkip;
    fdm_.ManejarError(nullptr, nullptr,
                      std::runtime_error("SQL Server Error: violation of PRIMARY or UNIQUE"),
                      records::UpdateKind::ukModify, response);
    fdm_.ManejarError(&b_.PFacturas, nullptr,
                      std::runtime_error("SQL Server Error: violation of FOREIGN KEY"),
                      records::UpdateKind::ukDelete, response);
    EXPECT_EQ(response, ResolverResponse::rrAbort);
    std::vector<PortCall> expected = boxed("SQL Server Error: violation of PRIMARY or UNIQUE");
    for (const PortCall& c : boxed("SQL Server Error: violation of FOREIGN KEY"))
        expected.push_back(c);
    EXPECT_EQ(port_.calls(), expected);
}

// The text rules are for failures that arrive untyped: a failure the buffers or the database
// layer typed is shown as it came even when its text looks like one the rules match.
TEST_F(TranslationRules, TypedFailuresAreNeverReadByTheirText) {
    struct Case {
        const char* what;
        records::Provider* provider;  // null: the buffer rules
        const std::exception& failure;
    };
    const records::UnknownField unknownField("Field 'FACT_X' not found");
    const records::Misuse misuse("SQL Server Error: violation of PRIMARY, as a buffer wrote it");
    const fb::Error other("SQL Server Error: violation of FOREIGN KEY, kind unknown");
    const Case cases[] = {
        {"a field the buffer lacks (buffer rules)", nullptr, unknownField},
        {"a buffer's misuse (update rules)", &b_.PFacturas, misuse},
        {"a database failure of no refusal kind (update rules)", &b_.PFacturas, other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port_.clear();
        ResolverResponse response = ResolverResponse::rrApply;
        fdm_.ManejarError(c.provider, &b_.CBorrar, c.failure, records::UpdateKind::ukInsert,
                          response);
        EXPECT_EQ(response, ResolverResponse::rrAbort);
        EXPECT_EQ(port_.calls(), boxed(c.failure.what()));
    }
}

// A tree that shows each rule of the walk: leaves are hooked, owners only descended into.
TEST(ConfigurarProviders, HooksLeavesAndDescendsIntoOwners) {
    app::RecordingPort port;
    data::Tfdm fdm(port);
    fb::Connection connection("c");
    records::ServerDataset dataset("QX", nullptr, connection, records::ServerDataset::Kind::Query,
                                   "SELECT 1 FROM X");

    core::Component root("root", nullptr);
    records::Provider leafProvider("P1", &root, dataset);
    records::Buffer leafBuffer("B1", &root, leafProvider);
    core::Component group("group", &root);
    records::Provider groupedProvider("P2", &group, dataset);
    records::Buffer groupedBuffer("B2", &group, groupedProvider);
    records::Provider owningProvider("P3", &root, dataset);
    records::Buffer ownedBuffer("B3", &owningProvider, owningProvider);
    records::Buffer owningBuffer("B4", &root, leafProvider);
    records::Provider ownedProvider("P5", &owningBuffer, dataset);
    records::ServerDataset otherLeaf("QY", &root, connection, records::ServerDataset::Kind::Query,
                                     "");

    fdm.ConfigurarProviders(root);

    EXPECT_TRUE(leafProvider.OnUpdateError);
    EXPECT_TRUE(groupedProvider.OnUpdateError);
    EXPECT_TRUE(ownedProvider.OnUpdateError);
    EXPECT_FALSE(owningProvider.OnUpdateError) << "an owner is only descended into";
    for (records::Buffer* b : {&leafBuffer, &groupedBuffer, &ownedBuffer}) {
        SCOPED_TRACE(b->name());
        EXPECT_TRUE(b->OnPostError);
        EXPECT_TRUE(b->OnEditError);
        EXPECT_TRUE(b->OnDeleteError);
    }
    EXPECT_FALSE(owningBuffer.OnPostError || owningBuffer.OnEditError ||
                 owningBuffer.OnDeleteError);

    // The hooks reach the module's translator.
    ResolverResponse response = ResolverResponse::rrApply;
    groupedProvider.OnUpdateError(groupedProvider, groupedBuffer,
                                  std::runtime_error("SQL Server Error: violation of PRIMARY"),
                                  records::UpdateKind::ukInsert, response);
    EXPECT_EQ(response, ResolverResponse::rrAbort);
    records::DataAction action = records::DataAction::daRetry;
    ownedBuffer.OnDeleteError(ownedBuffer, std::runtime_error("x"), action);
    EXPECT_EQ(action, records::DataAction::daAbort);
    std::vector<PortCall> expected = boxed("Ya existe el registro en la tabla X");
    for (const PortCall& c : boxed("x")) expected.push_back(c);
    EXPECT_EQ(port.calls(), expected);
}

struct NoSteps : importer::InvoiceSteps {
    importer::InvoiceResult importRecord(const importer::SummaryRecord&) override {
        return importer::RecordOutcome::Stored;
    }
};
struct NoCleanup : importer::FileCleanup {
    importer::CleanupOutcome cleanUp(const std::string&, const std::string&,
                                     platform::HeldFile&) override {
        return importer::CleanupOutcome::Removed;
    }
};

TEST(ConfigurarProviders, WindowCreationHooksTheWindowsComponentsAndNotTheModules) {
    testsupport::TempDir config;  // no installation-directory entry: one box, nothing loaded
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       QString::fromStdString(config.path()));
    app::RecordingPort port;
    data::Tfdm fdm(port);
    app::NoChooser chooser;
    NoSteps steps;
    NoCleanup cleanup;
    app::ImportWindow w(port, chooser, fdm, steps, cleanup);
    importer::WindowBuffers& b = w.buffers;
    w.dispatch([&] { w.FormCreate(); });

    for (records::Provider* p : {&b.PFacturas, &b.PFactreplica, &b.PPtovta, &b.PReplicaf,
                                 &b.PBorrar, &b.PInterfaces, &b.PContafactura}) {
        SCOPED_TRACE(p->name());
        EXPECT_TRUE(p->OnUpdateError);
    }
    for (records::Buffer* c :
         {&b.CFacturas, &b.CFactdetalle, &b.CFactreplica, &b.CFactdetreplica, &b.CPtovta,
          &b.CReplicaf, &b.CBorrar, &b.CInterfaces, &b.CContafactura}) {
        SCOPED_TRACE(c->name());
        EXPECT_TRUE(c->OnPostError && c->OnEditError && c->OnDeleteError);
    }
    for (records::Provider* p : {&fdm.PConfiguracion, &fdm.PValarticulo, &fdm.PArticulo,
                                 &fdm.PFactor, &fdm.PReplarticulo}) {
        SCOPED_TRACE(p->name());
        EXPECT_FALSE(p->OnUpdateError);
    }
    for (records::Buffer* c : {&fdm.CConfiguracion, &fdm.CValarticulo, &fdm.CArticulo, &fdm.CFactor,
                               &fdm.CReplarticulo}) {
        SCOPED_TRACE(c->name());
        EXPECT_FALSE(c->OnPostError || c->OnEditError || c->OnDeleteError);
    }
}

}  // namespace
