#pragma once

// Option groups: sets of option buttons that share one name and are told apart by an index
// from 0. Each group owns an explicit QButtonGroup whose ids are the option indexes, so the
// grouping does not depend on which frame a button sits in.

#include <QButtonGroup>
#include <QRadioButton>
#include <QString>

#include <concepts>
#include <cstdint>
#include <vector>

namespace lumivert {

// One option button: its caption, its tag text and its tool-tip text; Value() is the
// selected state.
class OptionButton : public QRadioButton {
public:
    OptionButton(const QString& caption, QString tag, const QString& toolTipText, QWidget* container);

    bool Value() const { return isChecked(); }
    QString Caption() const { return text(); }
    const QString& Tag() const { return tag_; }
    QString ToolTipText() const { return toolTip(); }

private:
    QString tag_;
};

class OptionGroup {
public:
    explicit OptionGroup(QObject* owner);

    // Adds the next option (its index is the number of options added before it).
    OptionButton& Add(const QString& caption, const QString& tag, const QString& toolTipText,
                      QWidget* container);

    int count() const { return static_cast<int>(options_.size()); }
    const OptionButton& Item(int index) const { return *options_.at(static_cast<std::size_t>(index)); }
    OptionButton& Item(int index) { return *options_.at(static_cast<std::size_t>(index)); }
    QButtonGroup& buttons() const { return *buttons_; }

private:
    QButtonGroup* buttons_; // owned by the Qt owner given at construction
    std::vector<OptionButton*> options_;
};

// Anything with a count of members and an indexed member whose Value() is its selected state.
template <class Group>
concept IndexedOptions = requires(const Group& group, int index) {
    { group.count() } -> std::convertible_to<int>;
    { group.Item(index).Value() } -> std::convertible_to<bool>;
};

// The index of the selected option, -1 when none is selected; the lowest selected index
// wins. The walk relies on indexes running from 0 without gaps.
template <IndexedOptions Group>
std::int32_t GetSelectedIndex(const Group& group) {
    const int last = group.count() - 1;
    for (int i = 0; i <= last; ++i) {
        if (group.Item(i).Value())
            return i;
    }
    return -1;
}

} // namespace lumivert
