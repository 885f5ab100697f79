#pragma once
// The import window's providers, buffers and its two own queries, bound to the data
// module's datasets. Owned by the window (as one component of it), so the error hooks
// reach them when the window's components are walked.
#include "core/component.h"
#include "data/fdm.h"
#include "records/buffer.h"

namespace importer {

class WindowBuffers : public core::Component {
  public:
    WindowBuffers(core::Component* window, data::Tfdm& fdm);

    records::ServerDataset QInterfaz;
    records::ServerDataset QContafactura;

    records::Provider PFacturas;
    records::Buffer CFacturas;
    records::Buffer CFactdetalle;
    records::Provider PFactreplica;
    records::Buffer CFactreplica;
    records::Buffer CFactdetreplica;
    records::Provider PPtovta;
    records::Buffer CPtovta;
    records::Provider PReplicaf;
    records::Buffer CReplicaf;
    records::Provider PBorrar;
    records::Buffer CBorrar;
    records::Provider PInterfaces;
    records::Buffer CInterfaces;
    records::Provider PContafactura;
    records::Buffer CContafactura;
};

}  // namespace importer
