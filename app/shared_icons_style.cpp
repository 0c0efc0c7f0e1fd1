#include "app/shared_icons_style.h"

namespace lumivert {

QIcon SharedIconsStyle::standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const {
    // An option may ask for a state, a direction or a palette of its own: drawn as asked.
    // Without one the icon follows the application (its direction, left to right here), not
    // the widget that asks.
    if (option != nullptr)
        return QProxyStyle::standardIcon(which, option, widget);
    auto found = icons_.find(which);
    if (found == icons_.end())
        found = icons_.emplace(which, QProxyStyle::standardIcon(which, option, widget)).first;
    return found->second;
}

} // namespace lumivert
