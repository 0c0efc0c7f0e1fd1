#include "app/option_group.h"

#include <utility>

namespace lumivert {

OptionButton::OptionButton(const QString& caption, QString tag, const QString& toolTipText, QWidget* container)
    : QRadioButton(caption, container), tag_(std::move(tag)) {
    // The group decides exclusivity, not the parent widget.
    setAutoExclusive(false);
    if (!toolTipText.isEmpty())
        setToolTip(toolTipText);
}

OptionGroup::OptionGroup(QObject* owner) : buttons_(new QButtonGroup(owner)) { buttons_->setExclusive(true); }

OptionButton& OptionGroup::Add(const QString& caption, const QString& tag, const QString& toolTipText,
                               QWidget* container) {
    auto* option = new OptionButton(caption, tag, toolTipText, container);
    buttons_->addButton(option, count());
    options_.push_back(option);
    return *option;
}

} // namespace lumivert
