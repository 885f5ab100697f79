#include "mask.h"

#include "client_error.h"

namespace transfer_client {

namespace {

unsigned char byte_at(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]);
}

}  // namespace

FileMask::FileMask(std::string_view pattern) : pattern_(pattern) {
    const auto refuse = [&](const std::string& why) {
        throw ClientError(ErrorKind::NotUnderstood,
                          "file mask \"" + pattern_ + "\" not understood: " + why);
    };
    if (pattern.empty()) refuse("it is empty");
    if (pattern.find('/') != std::string_view::npos) {
        refuse("only files of the current remote folder can be named");
    }

    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        Element element{Element::Kind::Set, {}};
        if (c == '*') {
            element.kind = Element::Kind::AnyRun;
            ++i;
        } else if (c == '?') {
            element.kind = Element::Kind::AnyOne;
            ++i;
        } else if (c == '[') {
            ++i;
            if (i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^')) {
                refuse("negated sets are not supported");
            }
            const std::size_t first = i;
            // The first member may be "]" itself; the set ends at the next "]".
            while (i < pattern.size() && (i == first || pattern[i] != ']')) {
                const unsigned char low = byte_at(pattern, i);
                if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
                    const unsigned char high = byte_at(pattern, i + 2);
                    if (high < low) refuse("a range runs backwards");
                    for (unsigned v = low; v <= high; ++v) element.members.set(v);
                    i += 3;
                } else {
                    element.members.set(low);
                    ++i;
                }
            }
            if (i >= pattern.size()) refuse("a \"[\" set is not closed");
            ++i;  // the closing "]"
        } else {
            element.members.set(byte_at(pattern, i));
            ++i;
        }
        elements_.push_back(element);
    }
}

bool FileMask::matches(std::string_view name) const {
    // Greedy walk that, on a mismatch, lets the last "*" swallow one more
    // character; earlier stars never need to be revisited.
    constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t e = 0;
    std::size_t n = 0;
    std::size_t star = none;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (e < elements_.size() && elements_[e].kind == Element::Kind::AnyRun) {
            star = e++;
            star_name = n;
            continue;
        }
        if (e < elements_.size() && (elements_[e].kind == Element::Kind::AnyOne ||
                                     elements_[e].members.test(byte_at(name, n)))) {
            ++e;
            ++n;
            continue;
        }
        if (star == none) return false;
        e = star + 1;
        n = ++star_name;
    }
    while (e < elements_.size() && elements_[e].kind == Element::Kind::AnyRun) ++e;
    return e == elements_.size();
}

std::optional<std::string> FileMask::literal() const {
    std::string name;
    for (const Element& e : elements_) {
        if (e.kind != Element::Kind::Set || e.members.count() != 1) return std::nullopt;
        for (std::size_t c = 0; c < e.members.size(); ++c)
            if (e.members[c]) name += static_cast<char>(c);
    }
    return name;
}

}  // namespace transfer_client
