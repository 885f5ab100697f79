#include "import/window_buffers.h"

#include "records/layouts.h"

namespace importer {
namespace {

using records::ProviderOption;
using Kind = records::ServerDataset::Kind;

records::Params idZero() {
    records::Param p;
    p.name = "ID";
    p.value = fb::Value::ofText("0");
    return {p};
}

}  // namespace

WindowBuffers::WindowBuffers(core::Component* window, data::Tfdm& fdm)
    : Component("WindowBuffers", window),
      QInterfaz("QInterfaz", this, fdm.Quorvan, Kind::Query, ""),
      QContafactura("QContafactura", this, fdm.Quorvan, Kind::Query, ""),
      PFacturas("PFacturas", this, fdm.TFactura,
                {ProviderOption::poCascadeDeletes, ProviderOption::poCascadeUpdates}),
      CFacturas("CFacturas", this, PFacturas, records::facturasLayout(), idZero()),
      CFactdetalle("CFactdetalle", this, CFacturas, records::facturasDetalleLayout()),
      PFactreplica("PFactreplica", this, fdm.Tfactreplica),
      CFactreplica("CFactreplica", this, PFactreplica, records::facturasReplicaLayout(), idZero()),
      CFactdetreplica("CFactdetreplica", this, CFactreplica),
      PPtovta("PPtovta", this, fdm.TPtovta),
      CPtovta("CPtovta", this, PPtovta, records::puntoVentaLayout()),
      PReplicaf("PReplicaf", this, fdm.TReplicav, {ProviderOption::poAllowCommandText}),
      CReplicaf("CReplicaf", this, PReplicaf, records::replicaVentasLayout()),
      PBorrar("PBorrar", this, fdm.QBorrar, {ProviderOption::poAllowCommandText}),
      CBorrar("CBorrar", this, PBorrar),
      PInterfaces("PInterfaces", this, QInterfaz, {ProviderOption::poAllowCommandText}),
      CInterfaces("CInterfaces", this, PInterfaces),
      PContafactura("PContafactura", this, QContafactura, {ProviderOption::poAllowCommandText}),
      CContafactura("CContafactura", this, PContafactura) {
    CReplicaf.CommandText = "select * from replica_ventas";
    // The interface lookup never writes; CONTABIL_FACTURA (QContafactura) posts, and keeps a
    // read-write transaction of its own.
    QInterfaz.setReadsOnly(true);
}

}  // namespace importer
