#include "app/CellStyle.h"

#include <QFontDatabase>

#include "model/Roles.h"

namespace Applications::DriveScope {

namespace {
const QRgb TitleBackground = qRgba(222, 222, 222, 255);
const QRgb TitleText = qRgba(100, 100, 100, 255);
const QRgb DimmedText = 0xFF606060;
} // namespace

void CellStyle::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    namespace Roles = Model::Roles;
    if (index.data(Roles::TitleRow).toBool()) {
        option->font.setBold(true);
        option->fontMetrics = QFontMetrics(option->font);
        option->backgroundBrush = QColor::fromRgba(TitleBackground);
        option->palette.setColor(QPalette::Text, QColor::fromRgba(TitleText));
    } else if (index.data(Roles::Dimmed).toBool()) {
        option->palette.setColor(QPalette::Text, QColor::fromRgba(DimmedText));
    }
    if (index.data(Roles::HexColumn).toBool()) {
        if (!m_hexFont) {
            // A fixed-pitch face at the table's size, so the byte columns line up.
            QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            const QFont table;
            if (table.pointSizeF() > 0)
                font.setPointSizeF(table.pointSizeF());
            font.setBold(true);
            m_hexFont = font;
        }
        option->font = *m_hexFont;
        option->fontMetrics = QFontMetrics(option->font);
    }
}

} // namespace Applications::DriveScope
