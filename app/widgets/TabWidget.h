// The platform's tab widget: a QTabWidget whose pages can be marked as without
// content (page disabled, title in the disabled text colour) while their tabs
// stay selectable, so the user still sees why a page is empty.
#pragma once
#include <QTabWidget>

namespace Libraries::Widgets::Components {

class TabWidget : public QTabWidget {
    Q_OBJECT
public:
    explicit TabWidget(QWidget *parent = nullptr);
    ~TabWidget() override;

    // Enables or disables `page` and colours its title to match: the tab bar's
    // foreground colour when enabled, the Disabled WindowText colour otherwise.
    // False when this widget does not hold `page`.
    bool setPageEnabled(QWidget *page, bool enabled);
    // The title colour of the tab at `index`.
    QColor tabTextColor(int index) const;
};

} // namespace Libraries::Widgets::Components
