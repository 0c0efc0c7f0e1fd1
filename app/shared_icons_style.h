#pragma once

// The application's style with one icon for each of its standard icons (a message box's,
// the file dialog's buttons), made once and handed out again.
//
// The style draws a standard icon anew each time it is asked for one, and each new icon is
// a new key in Qt's pixmap cache: every message box and file dialog left its icons' pixmaps
// there, under keys no later one asks for, and a long session grew by them (about 2 KiB a
// box) until the cache's limit of 10 MiB. Emptying the cache after each box only traded
// that for a slower growth of Qt's icon lookups. One shared icon per kind is drawn once and
// then found in the cache.

#include <QIcon>
#include <QProxyStyle>

#include <map>

namespace lumivert {

class SharedIconsStyle : public QProxyStyle {
public:
    // Over the application's own style; call with a QApplication running.
    SharedIconsStyle() = default;

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const override;

private:
    mutable std::map<StandardPixmap, QIcon> icons_; // the icons asked for without an option
};

} // namespace lumivert
