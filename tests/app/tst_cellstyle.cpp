// The one adapter from roles to looks: title rows, dimmed values and the
// hexadecimal column look as they always have; failing S.M.A.R.T. rows in red,
// rows that failed in the past in amber, each with a text colour that reads on it.
#include <QtTest>

#include "TestSupport.h"
#include "app/CellStyle.h"
#include "model/Roles.h"
#include "model/Smart.h"

#include <QFontInfo>
#include <QStandardItemModel>

using namespace Applications::DriveScope;

namespace {
struct Probe : CellStyle {
    // How a cell looks: "bold", "fixed", the background and the text colour.
    QString looks(const QModelIndex &index) const
    {
        QStyleOptionViewItem o;
        initStyleOption(&o, index);
        return QStringLiteral("%1%2background %3, text %4\n")
            .arg(o.font.bold() ? "bold " : "", QFontInfo(o.font).fixedPitch() ? "fixed " : "",
                 o.backgroundBrush.style() == Qt::NoBrush ? "none" : o.backgroundBrush.color().name(),
                 o.palette.color(QPalette::Text).name());
    }
};
} // namespace

class TestCellStyle : public QObject {
    Q_OBJECT
private slots:
    // Title rows, dimmed values and the hexadecimal column as the models used to
    // give themselves; S.M.A.R.T. rows well, failing and failed in the past.
    void looks()
    {
        QStandardItemModel model(4, 1);
        model.setData(model.index(0, 0), true, Model::Roles::TitleRow);
        model.setData(model.index(1, 0), true, Model::Roles::Dimmed);
        model.setData(model.index(2, 0), true, Model::Roles::HexColumn);
        const Model::Smart smart({{5, 100, 100, 36, 0}, {5, 10, 10, 36, 0}, {5, 100, 20, 36, 0}}, true);
        Probe probe;
        QString out;
        for (int row = 0; row < 4; ++row)
            out += QStringLiteral("role %1: ").arg(row) + probe.looks(model.index(row, 0));
        for (int row = 0; row < 3; ++row)
            out += QStringLiteral("attribute %1: ").arg(row) + probe.looks(smart.index(row, row == 2 ? 5 : 1));
        COMPARE_GOLDEN("app/cellstyle.txt", out);
    }
};

QTEST_MAIN(TestCellStyle)
#include "tst_cellstyle.moc"
