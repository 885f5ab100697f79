#pragma once
// The declared columns of the program's buffers, in the buffers' order.
#include "records/field_def.h"

namespace records {

// FACTURAS as the header buffer shows it: 96 columns, with the nested detail field
// "TFacdetalle" between FACT_DTOIT3 and FACT_NUMERO.
const Layout& facturasLayout();
// The 60 columns the replica buffer declares (FACT_TRM decimal(15,2), FACT_NUMERO right
// after AUTO_NUMERO), with its nested field "TFactdetreplica".
const Layout& facturasReplicaLayout();
// FACTURAS_DETALLE: 32 columns.
const Layout& facturasDetalleLayout();
const Layout& puntoVentaLayout();
const Layout& replicaVentasLayout();
const Layout& replicaArticuloEstadoLayout();
// The result of VALIDE_ARTICULO and of FACTOR_UNIDAD_CANT.
const Layout& valideArticuloLayout();
const Layout& factorLayout();

}  // namespace records
