#pragma once
// The import window's providers, buffers and its two own queries, bound to the data
// module's datasets. Owned by the window (as one component of it), so the error hooks
// reach them when the window's components are walked.
#include "core/component.h"
#include "data/fdm.h"
#include "records/buffer.h"

namespace importer {

// What the invoice steps build an invoice in and store it with.
struct InvoiceBuffers {
    records::Buffer& CFacturas;      // the header being built, pending until stored
    records::Buffer& CFactdetalle;   // its lines
    records::Buffer& CPtovta;        // the file's point of sale
    records::Buffer& CBorrar;        // one-off statements: lookups, locks, the totals
    records::Buffer& CInterfaces;    // the prefix's sales interface
    records::Buffer& CContafactura;  // the posting's answer
};

// What a branch copy is made from and into: the invoice's header and lines, the branch rows
// that ask for it, and the copy's header and lines.
struct ReplicaBuffers {
    records::Buffer& CFacturas;
    records::Buffer& CFactdetalle;
    records::Buffer& CReplicaf;
    records::Buffer& CFactreplica;
    records::Buffer& CFactdetreplica;
};

class WindowBuffers : public core::Component {
  public:
    WindowBuffers(core::Component* window, data::Tfdm& fdm);

    InvoiceBuffers invoice() {
        return {CFacturas, CFactdetalle, CPtovta, CBorrar, CInterfaces, CContafactura};
    }
    ReplicaBuffers replica() {
        return {CFacturas, CFactdetalle, CReplicaf, CFactreplica, CFactdetreplica};
    }

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
