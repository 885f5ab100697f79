#pragma once
// The data module: the three connections, the server-side datasets bound to them, and the
// buffers of its own lookups. It lives for the whole program and is created before the
// import window, whose providers are bound to its datasets.
#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <utility>

#include "core/component.h"
#include "core/money.h"
#include "data/ui_port.h"
#include "fb/connection.h"
#include "records/buffer.h"
#include "records/query.h"
#include "records/server_dataset.h"

namespace data {

// Seconds a statement of the import waits for a row that another transaction holds.
inline constexpr int kDefaultLockTimeout = 30;

class Tfdm : public core::Component {
  public:
    // `port` shows the module's messages (its lookups report absent settings and articles).
    explicit Tfdm(data::UiPort& port);
    // A module whose boxes go nowhere (for callers that use no lookup that shows one).
    Tfdm();
    ~Tfdm() override;

    // The value of a configuration setting of the company database; an absent setting shows
    // "No se encontró la configuración " + Pregunta in an error box and gives "". The three
    // texts go into the statement as they are (the program passes fixed keys).
    std::string configuracion(const std::string& Modulo, const std::string& Categoria,
                              const std::string& Pregunta);

    // Checks an article key: on TIPO 1 or 2 writes the article's code into `Cod`, and its
    // description and unit into `Desc` and `Unidad` when those are empty, and answers yes.
    // TIPO 0 shows "Código '<key>' no encontrado." and answers no; an empty key answers no
    // without asking. Fields of the caller's row in insertion.
    bool valide_articulo(const std::string& CodBar, records::Field Cod, records::Field Desc,
                         records::Field Unidad);
    // Writes the article's VAT percentage and consumption tax (0 when it has none).
    void imptos_articulo(const std::string& Id, records::Field IvaP, records::Field Consumo);
    // The unit conversion factor of the article, rounded to four decimals; 1 when either
    // text is empty or no factor is defined.
    core::Money factor_unidad(const std::string& IdArt, const std::string& Unidad);

    // While on (a run), the three article services remember each answer by its arguments and
    // give it again without asking the database, for as long as the company connection is
    // the one they asked: an answer of another company, or of an earlier run, is never given.
    // "Not found" is remembered too, and its message shown at every call as before. Turning
    // it on forgets what was remembered.
    void rememberArticleAnswers(bool on);
    // Changes whenever what was remembered is forgotten (a run's start or end, another
    // company connection); 0 while nothing is remembered. What others remember for a run
    // holds while it stays the same.
    uint64_t answersEpoch();
    // The first row of `sql` with `params`, opened through `buffer` on the company connection:
    // the texts of its first `columns` columns ("" each without a row). While answers are
    // remembered, asked once per statement and parameters, as the article answers are (the
    // prefix and the customer of every invoice of a point of sale).
    std::vector<std::string> rememberedRow(records::Buffer& buffer, const std::string& sql,
                                           const records::Params& params, int columns);

    // Attaches the error translation to every provider and buffer that `Componente` owns,
    // descending into owned components that own components themselves. The module's own
    // providers and buffers are never passed here, so their failures stay untranslated.
    void ConfigurarProviders(core::Component& Componente);
    // Shows a failure of a window buffer or provider as a Spanish message (beep, then the
    // error box) and answers abort. With a provider and a buffer the server's message is
    // matched; with a buffer alone the buffer's own refusal is. `UpdateKind` is not used.
    void ManejarError(records::Provider* Sender, records::Buffer* DataSet, const std::exception& E,
                      records::UpdateKind UpdateKind, records::ResolverResponse& Response);
    // A buffer's edit, post or delete failure: answers abort (the caller then gets a silent
    // abort) and shows the failure through ManejarError without a provider.
    void ManejarClientError(records::Buffer& DataSet, const std::exception& E,
                            records::DataAction& Action);

    data::UiPort& port() const { return *port_; }
    // The texts of the boxes the module's lookups and error translation showed since the
    // last clear (a refused row, an article or a setting not found), joined by " | ": what a
    // report gives as the reason of a record that ended there.
    const std::string& shownMessages() const { return shown_; }
    void clearShownMessages() { shown_.clear(); }

    // How the module's connections, and the branch connections made from ConReplica, are
    // opened: `connection` is closed, given `database`, `user` and `password` (its other
    // options stay), and opened.
    void connect(fb::Connection& connection, const std::string& database, const std::string& user,
                 const std::string& password);
    // The seconds a statement of any of the three connections (and so of every branch
    // connection reached afterwards, which takes ConReplica's options) waits for a row another
    // transaction holds.
    void setLockTimeout(int seconds);
    // Installs `hooks` on the three connections and so on every branch connection, which
    // shares ConReplica's: fault injection and traces in tests.
    void setConnectionHooks(const fb::ConnectionHooks& hooks);

    // Connections: closed at creation, with their design parameters (data::designParams),
    // opened by the connection step and the run through connect(). ConReplica is never opened:
    // its options and hooks are those of every branch connection of a run
    // (importer::BranchConnections), and the branch datasets are bound to the branch whose
    // copy is being made.
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

  private:
    // What the article services answered, on the company connection of `connection`.
    struct Validation {
        int tipo = 0;
        std::string id, descripcion, unidad;
    };
    struct ArticleAnswers {
        bool on = false;
        uint64_t connection = 0;  // Quorvan.openCount() of the answers
        uint64_t epoch = 0;
        std::map<std::string, Validation, std::less<>> validations;
        std::map<std::string, std::pair<core::Money, core::Money>, std::less<>> taxes;
        std::map<std::pair<std::string, std::string>, core::Money> factors;
        std::map<std::string, std::vector<std::string>, std::less<>> rows;
    };
    // Forgets the answers of another connection; whether answers may be remembered.
    bool answersHold();
    Validation validation(const std::string& key);

    // Shows a box through the port and keeps its text for shownMessages().
    void error(const std::string& text);
    void information(const std::string& text);

    data::UiPort* port_;
    std::string shown_;
    ArticleAnswers answers_;
    uint64_t epochs_ = 0;
};

}  // namespace data
