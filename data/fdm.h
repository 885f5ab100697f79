#pragma once
// The data module: the three connections, the server-side datasets bound to them, and the
// buffers of its own lookups. It lives for the whole program and is created before the
// import window, whose providers are bound to its datasets.
#include "core/component.h"
#include "fb/connection.h"
#include "records/buffer.h"
#include "records/query.h"
#include "records/server_dataset.h"

namespace data {

class Tfdm : public core::Component {
  public:
    Tfdm();
    ~Tfdm() override;

    // Connections: closed at creation, opened by the connection step, the run and the
    // replication; each open is preceded by a close and by new "Database", "User_Name" and
    // "password" values.
    fb::Connection Quorvan{"Quorvan"};
    fb::Connection General{"General"};
    fb::Connection ConReplica{"ConReplica"};

    // Server-side datasets.
    records::Query QCentros;
    records::ServerDataset QConfiguracion;
    records::ServerDataset QValarticulo;
    records::ServerDataset QArticulos;
    records::ServerDataset QFactor;
    records::ServerDataset TFactura;
    records::ServerDataset TFacdetalle;
    records::ServerDataset SCambieidfact;
    records::ServerDataset QBorrar;
    records::ServerDataset TReplicav;
    records::ServerDataset TPtovta;
    records::ServerDataset TReplarticulo;
    records::ServerDataset SContapend;
    records::ServerDataset SIdfactreplica;
    records::ServerDataset Tfactreplica;
    records::ServerDataset TFactdetreplica;

    // The module's own providers and buffers (never hooked by the error translation).
    records::Provider PConfiguracion;
    records::Buffer CConfiguracion;
    records::Provider PValarticulo;
    records::Buffer CValarticulo;
    records::Provider PArticulo;
    records::Buffer CArticulo;
    records::Provider PFactor;
    records::Buffer CFactor;
    records::Provider PReplarticulo;
    records::Buffer CReplarticulo;
};

}  // namespace data
