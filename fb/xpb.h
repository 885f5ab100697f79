#pragma once
// A parameter block (DPB, TPB) built through the client's IXpbBuilder, disposed on every
// path. Internal to fb/.
#include <string>
#include <vector>

#include "fb/api.h"

namespace fb {

class Xpb {
  public:
    explicit Xpb(unsigned kind) {
        Status st;
        b_ = util()->getXpbBuilder(&st, kind, nullptr, 0);
    }
    ~Xpb() { b_->dispose(); }
    Xpb(const Xpb&) = delete;
    Xpb& operator=(const Xpb&) = delete;

    void tag(unsigned char t) {
        Status st;
        b_->insertTag(&st, t);
    }
    void str(unsigned char t, const std::string& s) {
        Status st;
        b_->insertString(&st, t, s.c_str());
    }
    void num(unsigned char t, int v) {
        Status st;
        b_->insertInt(&st, t, v);
    }
    std::vector<unsigned char> bytes() {
        Status st;
        const unsigned char* p = b_->getBuffer(&st);
        unsigned n = b_->getBufferLength(&st);
        return std::vector<unsigned char>(p, p + n);
    }

  private:
    Firebird::IXpbBuilder* b_;
};

}  // namespace fb
