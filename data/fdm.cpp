#include "data/fdm.h"

#include "data/connection_params.h"
#include "records/layouts.h"

namespace data {
namespace {

using records::Param;
using records::ProviderOption;
using Kind = records::ServerDataset::Kind;

// A connection with its design parameters. A row another user holds is waited for, but not
// for ever: an unattended run must end.
fb::ConnectionOptions designOptions(data::ModuleConnection connection) {
    fb::ConnectionOptions o = data::designParams(connection).options();
    o.lockTimeout = kDefaultLockTimeout;
    return o;
}

Param textParam(const char* name, const char* value) {
    Param p;
    p.name = name;
    p.type = fb::FieldType::VarChar;
    p.value = fb::Value::ofText(value);
    return p;
}

Param intParam(const char* name, bool output) {
    Param p;
    p.name = name;
    p.type = fb::FieldType::Integer;
    p.output = output;
    return p;
}

class SilentPort : public data::UiPort {
  public:
    void information(const std::string&) override {}
    void error(const std::string&) override {}
    void failure(const std::string&) override {}
    void beep() override {}
    void repaint() override {}
    void close() override {}
};

SilentPort silentPort;

}  // namespace

Tfdm::Tfdm() : Tfdm(silentPort) {}

Tfdm::Tfdm(data::UiPort& port)
    : Component("fdm", nullptr),
      QCentros("QCentros", this, General, "SELECT * FROM CENTROS"),
      QConfiguracion("QConfiguracion", this, Quorvan, Kind::Query, ""),
      QValarticulo("QValarticulo", this, Quorvan, Kind::Query,
                   "select * from valide_articulo('01')"),
      QArticulos("QArticulos", this, Quorvan, Kind::Query, "select * from articulo"),
      QFactor("QFactor", this, Quorvan, Kind::Query,
              "SELECT * FROM FACTOR_UNIDAD_CANT('01', 'UNIDAD')"),
      TFactura("TFactura", this, Quorvan, Kind::Query, "SELECT * FROM FACTURAS WHERE FACT_ID = :ID",
               {textParam("ID", "0")}),
      TFacdetalle("TFacdetalle", this, Quorvan, Kind::Query,
                  "SELECT * FROM FACTURAS_DETALLE WHERE FACT_ID = :FACT_ID",
                  {intParam("FACT_ID", false)}),
      SCambieidfact("SCambieidfact", this, Quorvan, Kind::StoredProc, "CAMBIE_ID_FACTURA",
                    {intParam("ID", true)}),
      QBorrar("QBorrar", this, Quorvan, Kind::Query, ""),
      TReplicav("TReplicav", this, Quorvan, Kind::Query, "SELECT * FROM REPLICA_VENTAS"),
      TPtovta("TPtovta", this, Quorvan, Kind::Table, "PUNTO_VENTA"),
      TReplarticulo("TReplarticulo", this, Quorvan, Kind::Query,
                    "SELECT * FROM REPLICA_ARTICULO_ESTADO WHERE RPAE_ID = :ID",
                    {textParam("ID", "0")}),
      SContapend("SContapend", this, Quorvan, Kind::StoredProc, "CONTABILIZA_PENDIENTE",
                 {intParam("IDCNT", false)}),
      SIdfactreplica("SIdfactreplica", this, ConReplica, Kind::StoredProc, "CAMBIE_ID_FACTURA",
                     {intParam("ID", true)}),
      Tfactreplica("Tfactreplica", this, ConReplica, Kind::Query,
                   "SELECT * FROM FACTURAS WHERE FACT_ID = :ID", {textParam("ID", "0")}),
      TFactdetreplica("TFactdetreplica", this, ConReplica, Kind::Query,
                      "SELECT * FROM FACTURAS_DETALLE WHERE FACT_ID = :FACT_ID",
                      {intParam("FACT_ID", false)}),
      PConfiguracion("PConfiguracion", this, QConfiguracion, {ProviderOption::poAllowCommandText}),
      CConfiguracion("CConfiguracion", this, PConfiguracion),
      PValarticulo("PValarticulo", this, QValarticulo, {ProviderOption::poAllowCommandText}),
      CValarticulo("CValarticulo", this, PValarticulo, records::valideArticuloLayout()),
      PArticulo("PArticulo", this, QArticulos, {ProviderOption::poAllowCommandText}),
      CArticulo("CArticulo", this, PArticulo),
      PFactor("PFactor", this, QFactor, {ProviderOption::poAllowCommandText}),
      CFactor("CFactor", this, PFactor, records::factorLayout()),
      PReplarticulo("PReplarticulo", this, TReplarticulo),
      CReplarticulo("CReplarticulo", this, PReplarticulo, records::replicaArticuloEstadoLayout(),
                    {textParam("ID", "0")}),
      port_(&port) {
    Quorvan.options() = designOptions(data::ModuleConnection::Quorvan);
    General.options() = designOptions(data::ModuleConnection::General);
    ConReplica.options() = designOptions(data::ModuleConnection::ConReplica);
    TFactura.setDetail(&TFacdetalle);
    Tfactreplica.setDetail(&TFactdetreplica);
    // What these datasets open never writes, so it shares the connection's reader. Statements
    // that a buffer executes (the totals procedure through QBorrar) and the stored-procedure
    // calls keep transactions of their own; the replica buffers' rows go in the transaction
    // of the invoice they copy.
    for (records::ServerDataset* d :
         {static_cast<records::ServerDataset*>(&QCentros), &QConfiguracion, &QValarticulo,
          &QArticulos, &QFactor, &TFactura, &TFacdetalle, &QBorrar, &TReplicav, &TPtovta,
          &TReplarticulo, &Tfactreplica, &TFactdetreplica})
        d->setReadsOnly(true);
}

// The connections close when their members go, after every dataset and buffer.
Tfdm::~Tfdm() = default;

void Tfdm::connect(fb::Connection& connection, const std::string& database, const std::string& user,
                   const std::string& password) {
    connection.close();
    fb::ConnectionOptions& o = connection.options();
    o.database = database;
    o.user = user;
    o.password = password;
    connection.open();
}

void Tfdm::setLockTimeout(int seconds) {
    for (fb::Connection* c : {&Quorvan, &General, &ConReplica}) c->options().lockTimeout = seconds;
}

void Tfdm::setConnectionHooks(const fb::ConnectionHooks& hooks) {
    for (fb::Connection* c : {&Quorvan, &General, &ConReplica}) c->setHooks(hooks);
}

}  // namespace data
