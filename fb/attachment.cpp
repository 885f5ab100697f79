#include "fb/attachment.h"

#include <vector>

#include "fb/xpb.h"

namespace fb {
namespace {

std::vector<unsigned char> buildDpb(const AttachOptions& o, const std::string& defaultCharSet) {
    Xpb dpb(Firebird::IXpbBuilder::DPB);
    if (!o.user.empty()) dpb.str(isc_dpb_user_name, o.user);
    if (!o.password.empty()) dpb.str(isc_dpb_password, o.password);
    dpb.str(isc_dpb_lc_ctype, o.charSet.empty() ? "NONE" : o.charSet);
    if (!o.role.empty()) dpb.str(isc_dpb_sql_role_name, o.role);
    dpb.num(isc_dpb_sql_dialect, o.dialect);
    if (!defaultCharSet.empty()) dpb.str(isc_dpb_set_db_charset, defaultCharSet);
    return dpb.bytes();
}

}  // namespace

Attachment::Attachment(const std::string& database, const AttachOptions& o) {
    std::vector<unsigned char> b = buildDpb(o, {});
    Status st;
    att_ = provider()->attachDatabase(&st, database.c_str(), static_cast<unsigned>(b.size()),
                                      b.data());
}

Attachment Attachment::create(const std::string& database, const AttachOptions& o,
                              const std::string& defaultCharSet) {
    std::vector<unsigned char> b = buildDpb(o, defaultCharSet);
    Status st;
    Attachment a;
    a.att_ = provider()->createDatabase(&st, database.c_str(), static_cast<unsigned>(b.size()),
                                        b.data());
    return a;
}

Attachment::~Attachment() {
    try {
        detach();
    } catch (...) {
        // Nothing can be reported from a destructor; the handle is released by detach().
    }
}

Attachment& Attachment::operator=(Attachment&& other) noexcept {
    if (this != &other) {
        try {
            detach();
        } catch (...) {
        }
        att_ = other.att_;
        other.att_ = nullptr;
    }
    return *this;
}

void Attachment::detach() {
    if (!att_) return;
    Firebird::IAttachment* a = att_;
    att_ = nullptr;
    try {
        Status st;
        a->detach(&st);  // releases the interface on success
    } catch (...) {
        a->release();
        throw;
    }
}

}  // namespace fb
