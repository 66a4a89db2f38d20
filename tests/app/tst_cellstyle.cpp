// The one adapter from roles to looks: failing S.M.A.R.T. rows in red, rows
// that failed in the past in amber, each with a text colour that reads on it.
#include <QtTest>

#include "app/CellStyle.h"
#include "model/Smart.h"

using namespace Applications::DriveScope;

namespace {
struct Probe : CellStyle {
    QStyleOptionViewItem option(const QModelIndex &index) const
    {
        QStyleOptionViewItem o;
        initStyleOption(&o, index);
        return o;
    }
};
} // namespace

class TestCellStyle : public QObject {
    Q_OBJECT
private slots:
    void attributeStates()
    {
        const Model::Smart smart({{5, 100, 100, 36, 0}, {5, 10, 10, 36, 0}, {5, 100, 20, 36, 0}}, true);
        Probe probe;
        const QStyleOptionViewItem ok = probe.option(smart.index(0, 1));
        const QStyleOptionViewItem failing = probe.option(smart.index(1, 1));
        const QStyleOptionViewItem past = probe.option(smart.index(2, 5));
        QCOMPARE(ok.backgroundBrush.style(), Qt::NoBrush);
        QCOMPARE(failing.backgroundBrush.color(), QColor(198, 40, 40));
        QCOMPARE(failing.palette.color(QPalette::Text), QColor(Qt::white));
        QCOMPARE(past.backgroundBrush.color(), QColor(255, 179, 0));
        QCOMPARE(past.palette.color(QPalette::Text), QColor(Qt::black));
    }
};

QTEST_MAIN(TestCellStyle)
#include "tst_cellstyle.moc"
