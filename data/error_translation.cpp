// The data module's translation of buffer and provider failures into Spanish messages,
// chosen by the failure's type. A statement the database refused arrives typed by the
// database layer (fb/error.h): a key that exists, or a missing or still referred row, picks
// the message. A row the buffer itself refused arrives typed by the buffers
// (records/errors.h): a required field without a value lists every such field. Failures that
// arrive untyped, from elsewhere, keep the rules on their text: a refused statement as
// "SQL Server Error: " (18 characters) followed by the server's English message, a buffer's
// refusal as its English text. Anything else is shown as it came.
#include <string_view>

#include "core/errors.h"
#include "core/text.h"
#include "data/fdm.h"
#include "data/texts.h"
#include "fb/error.h"
#include "records/errors.h"

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

// Whether `e` is of a type that says what failed (then its text is shown, never read).
bool typed(const std::exception& e) {
    return dynamic_cast<const fb::Error*>(&e) || dynamic_cast<const records::Error*>(&e) ||
           dynamic_cast<const core::ConversionError*>(&e);
}

std::string updateMessage(const records::Provider& provider, const std::exception& e) {
    Refusal refusal = Refusal::None;
    if (const auto* failure = dynamic_cast<const fb::Error*>(&e))
        refusal = refusalOf(*failure);
    else if (!typed(e))
        refusal = refusalOf(std::string_view(e.what()));
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

// Every field of the buffer that is required and holds no value in the current row.
std::string emptyRequiredFields(records::Buffer& buffer) {
    std::string list;
    for (int i = 0; i < buffer.FieldCount(); ++i) {
        records::Field f = buffer.Fields(i);
        if (f.def().required && f.isNull()) list += f.name() + ", ";
    }
    return texts::kCamposInicio + list + texts::kCamposFin;
}

// The rules on the text of a buffer's refusal that arrived untyped.
std::string bufferMessageOfText(records::Buffer& buffer, const std::string& text) {
    const std::string_view t = window(text, 0, kBufferWindow);
    std::string message = text;
    if (t == "Cannot delete master record wi") message = texts::kBorreDetalles;
    const std::string_view head = t.substr(0, 3);
    if (head == "Fie") {
        message = emptyRequiredFields(buffer);
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

std::string bufferMessage(records::Buffer& buffer, const std::exception& e) {
    if (dynamic_cast<const records::RequiredFieldEmpty*>(&e)) return emptyRequiredFields(buffer);
    if (typed(e)) return e.what();
    return bufferMessageOfText(buffer, e.what());
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
    std::string message = E.what();
    if (Sender && DataSet)
        message = updateMessage(*Sender, E);
    else if (DataSet)
        message = bufferMessage(*DataSet, E);
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
