#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace transfer_client {

// A file mask of the script language, matched against whole file names,
// byte for byte and case-sensitively:
//   "*"      any run of characters, the empty one included
//   "?"      exactly one character
//   "[...]"  one character of the set: single characters and ranges "a-z";
//            the first character after "[" is always a member, so "[[]" is
//            the set holding only "[" and "[]]" the one holding only "]"
//   other    itself
// A mask that names a folder ("/"), an unclosed or empty set, a reversed range
// and a set starting with "!" or "^" (negation, not supported) throw
// ClientError(NotUnderstood) from the constructor.
class FileMask {
  public:
    explicit FileMask(std::string_view pattern);

    bool matches(std::string_view name) const;
    // The one name the mask matches when it has no "*" or "?" and every set holds one
    // character ("[[]RDE_12.txt" is "[RDE_12.txt"); nothing otherwise.
    std::optional<std::string> literal() const;

    const std::string& pattern() const { return pattern_; }

  private:
    struct Element {
        enum class Kind { AnyRun, AnyOne, Set } kind;
        std::bitset<256> members;  // for Set; a literal is a set of one
    };

    std::string pattern_;
    std::vector<Element> elements_;
};

}  // namespace transfer_client
