// The data module's translation of buffer and provider failures into Spanish messages. A
// statement the database refused reaches the hooks typed by the database layer (fb/error.h):
// a key that exists, or a missing or still referred row, picks the message. A failure that
// arrives untyped keeps the rule on its text: the database layer's "SQL Server Error: " (18
// characters) followed by the server's English message; a buffer refusing a row reports its
// own English text. Anything else is shown as it came.
#include <string_view>

#include "core/text.h"
#include "data/fdm.h"
#include "data/texts.h"
#include "fb/error.h"

namespace data {
namespace {

namespace texts = data::texts;

// Where the server's message starts in an untyped refused statement's text, and how much of
// it the update rules look at.
constexpr size_t kServerMessageAt = 18;
constexpr size_t kUpdateWindow = 20;
constexpr size_t kBufferWindow = 30;

// `text` from `pos` on, at most `count` characters; "" when the text is shorter than `pos`.
std::string_view window(std::string_view text, size_t pos, size_t count) {
    return pos < text.size() ? text.substr(pos, count) : std::string_view();
}

enum class Refusal { None, KeyExists, Related };

// A key a PRIMARY KEY or UNIQUE constraint holds already, or a row missing for, or still
// referred to by, a foreign key. A unique index of no constraint is shown as it came.
Refusal refusalOf(const fb::Error& failure) {
    switch (failure.kind()) {
        case fb::ErrorKind::UniqueKey:
            return static_cast<const fb::UniqueKeyViolation&>(failure).constraintNamed()
                       ? Refusal::KeyExists
                       : Refusal::None;
        case fb::ErrorKind::ForeignKey:
            return Refusal::Related;
        default:
            return Refusal::None;
    }
}

Refusal refusalOf(std::string_view text) {
    const std::string_view key = window(text, kServerMessageAt, kUpdateWindow);
    if (key == "violation of PRIMARY") return Refusal::KeyExists;
    if (key == "violation of FOREIGN") return Refusal::Related;
    return Refusal::None;
}

// The refusal `e` reports: by its type when the database layer typed it, else by its text.
Refusal refusalOf(const std::exception& e) {
    if (const auto* failure = dynamic_cast<const fb::Error*>(&e)) return refusalOf(*failure);
    return refusalOf(std::string_view(e.what()));
}

std::string updateMessage(const records::Provider& provider, const std::exception& e) {
    const Refusal refusal = refusalOf(e);
    const std::string& datasetName = provider.dataset().name();
    const std::string table = datasetName.empty() ? std::string() : datasetName.substr(1);
    switch (refusal) {
        case Refusal::KeyExists:
            return texts::kRegistroExiste + table;
        case Refusal::Related:
            return texts::kRelacionInicio + table + texts::kRelacionFin;
        case Refusal::None:
            break;
    }
    return e.what();
}

bool inIndex(const records::Buffer& buffer, const std::string& field) {
    for (const std::string& name : buffer.IndexFieldNames)
        if (core::equalsNoCase(name, field)) return true;
    return false;
}

std::string bufferMessage(records::Buffer& buffer, const std::string& text) {
    const std::string_view t = window(text, 0, kBufferWindow);
    std::string message = text;
    if (t == "Cannot delete master record wi") message = texts::kBorreDetalles;
    const std::string_view head = t.substr(0, 3);
    if (head == "Fie") {
        std::string list;
        for (int i = 0; i < buffer.FieldCount(); ++i) {
            records::Field f = buffer.Fields(i);
            if (f.def().required && f.isNull()) list += f.name() + ", ";
        }
        message = texts::kCamposInicio + list + texts::kCamposFin;
    } else if (head == "key") {
        std::string list;
        for (int i = 0; i < buffer.FieldCount(); ++i) {
            const std::string& name = buffer.fieldDefs()[i].name;
            if (inIndex(buffer, name)) list += name + " ";
        }
        message = texts::kClaveRepetida + list;
    }
    return message;
}

void configure(Tfdm& fdm, core::Component& owner) {
    for (core::Component* c : owner.components()) {
        if (!c->components().empty()) {
            configure(fdm, *c);
        } else if (auto* provider = dynamic_cast<records::Provider*>(c)) {
            provider->OnUpdateError = [&fdm](records::Provider& sender, records::Buffer& dataSet,
                                             const std::exception& e, records::UpdateKind kind,
                                             records::ResolverResponse& response) {
                fdm.ManejarError(&sender, &dataSet, e, kind, response);
            };
        } else if (auto* buffer = dynamic_cast<records::Buffer*>(c)) {
            auto hook = [&fdm](records::Buffer& dataSet, const std::exception& e,
                               records::DataAction& action) {
                fdm.ManejarClientError(dataSet, e, action);
            };
            buffer->OnEditError = hook;
            buffer->OnPostError = hook;
            buffer->OnDeleteError = hook;
        }
    }
}

}  // namespace

void Tfdm::ConfigurarProviders(core::Component& Componente) {
    configure(*this, Componente);
}

void Tfdm::ManejarError(records::Provider* Sender, records::Buffer* DataSet,
                        const std::exception& E, records::UpdateKind /*UpdateKind*/,
                        records::ResolverResponse& Response) {
    Response = records::ResolverResponse::rrAbort;
    const std::string text = E.what();
    std::string message = text;
    if (Sender && DataSet)
        message = updateMessage(*Sender, E);
    else if (DataSet)
        message = bufferMessage(*DataSet, text);
    port_->beep();
    error(message);
}

void Tfdm::ManejarClientError(records::Buffer& DataSet, const std::exception& E,
                              records::DataAction& Action) {
    Action = records::DataAction::daAbort;
    records::ResolverResponse discarded = records::ResolverResponse::rrAbort;
    ManejarError(nullptr, &DataSet, E, records::UpdateKind::ukInsert, discarded);
}

}  // namespace data
