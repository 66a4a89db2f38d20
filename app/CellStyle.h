// The one place that turns the models' cell roles (title row, dimmed value,
// hexadecimal column, attribute state) into the window's colours and fonts.
#pragma once
#include <QFont>
#include <QStyledItemDelegate>
#include <optional>

namespace Applications::DriveScope {

class CellStyle : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    mutable std::optional<QFont> m_hexFont; // made on first use: needs the GUI application
};

} // namespace Applications::DriveScope
