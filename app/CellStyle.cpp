#include "app/CellStyle.h"

#include <QFontDatabase>

#include "model/Roles.h"
#include "model/SmartRecords.h"

namespace Applications::DriveScope {

namespace {
const QRgb TitleBackground = qRgba(222, 222, 222, 255);
const QRgb TitleText = qRgba(100, 100, 100, 255);
const QRgb DimmedText = 0xFF606060;
// Attribute states as a background with a text colour of its own, so that the
// row reads the same on light and dark palettes.
const QRgb FailingBackground = qRgba(198, 40, 40, 255); // strong red
const QRgb FailingText = qRgba(255, 255, 255, 255);
const QRgb PastBackground = qRgba(255, 179, 0, 255); // amber
const QRgb PastText = qRgba(0, 0, 0, 255);
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
    const QVariant state = index.data(Roles::AttributeState);
    if (state.isValid() && state.toInt() != int(Model::AttributeState::Ok)) {
        const bool failing = state.toInt() == int(Model::AttributeState::Failing);
        option->backgroundBrush = QColor::fromRgba(failing ? FailingBackground : PastBackground);
        option->palette.setColor(QPalette::Text, QColor::fromRgba(failing ? FailingText : PastText));
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
