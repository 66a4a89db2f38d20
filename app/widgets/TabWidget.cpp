#include "app/widgets/TabWidget.h"

#include <QTabBar>

namespace Libraries::Widgets::Components {

TabWidget::TabWidget(QWidget *parent) : QTabWidget(parent) {}

TabWidget::~TabWidget() = default;

bool TabWidget::setPageEnabled(QWidget *page, bool enabled)
{
    const int index = indexOf(page);
    if (index < 0)
        return false;
    page->setEnabled(enabled);
    const QPalette &palette = tabBar()->palette();
    tabBar()->setTabTextColor(index, enabled ? palette.color(tabBar()->foregroundRole())
                                             : palette.color(QPalette::Disabled, QPalette::WindowText));
    return true;
}

QColor TabWidget::tabTextColor(int index) const
{
    return tabBar()->tabTextColor(index);
}

} // namespace Libraries::Widgets::Components
