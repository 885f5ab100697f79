#include "import/discount_group.h"

#include "core/text.h"

namespace importer {

DiscountGroup splitDiscountGroup(std::string_view c) {
    DiscountGroup g;
    const size_t p1 = c.find('.');  // 0-based: d1 - 1
    if (p1 == std::string_view::npos || p1 < 3) {
        g.first = core::trimBlanks(c.substr(0, 3));
    } else {
        g.name = c.substr(0, p1 - 3);
        g.first = core::trimBlanks(c.substr(p1 - 3, 3));
    }
    const size_t p2 = p1 == std::string_view::npos ? p1 : c.find('.', p1 + 1);
    if (p2 == std::string_view::npos) {
        g.third = core::trimBlanks(c);
    } else {
        g.second = core::trimBlanks(c.substr(p1 + 1, p2 - p1 - 1));
        g.third = core::trimBlanks(c.substr(p2 + 1));
    }
    return g;
}

}  // namespace importer
