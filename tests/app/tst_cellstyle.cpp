// The one adapter from roles to looks: title rows, dimmed values and the
// hexadecimal column look as they always have; failing S.M.A.R.T. rows in red,
// rows that failed in the past in amber, each with a text colour that reads on it.
#include <QtTest>

#include "app/CellStyle.h"
#include "model/Roles.h"
#include "model/Smart.h"

#include <QFontInfo>
#include <QStandardItemModel>

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
    // The colours and fonts the models used to give themselves, now given here.
    void looks()
    {
        QStandardItemModel model(4, 1);
        model.setData(model.index(0, 0), true, Model::Roles::TitleRow);
        model.setData(model.index(1, 0), true, Model::Roles::Dimmed);
        model.setData(model.index(2, 0), true, Model::Roles::HexColumn);
        Probe probe;
        const QStyleOptionViewItem title = probe.option(model.index(0, 0));
        QVERIFY(title.font.bold());
        QCOMPARE(title.backgroundBrush.color(), QColor(222, 222, 222));
        QCOMPARE(title.palette.color(QPalette::Text), QColor(100, 100, 100));
        QCOMPARE(probe.option(model.index(1, 0)).palette.color(QPalette::Text), QColor::fromRgba(0xFF606060));
        const QStyleOptionViewItem hex = probe.option(model.index(2, 0));
        QVERIFY(hex.font.bold());
        QVERIFY(QFontInfo(hex.font).fixedPitch());
        const QStyleOptionViewItem plain = probe.option(model.index(3, 0));
        QVERIFY(!plain.font.bold());
        QCOMPARE(plain.backgroundBrush.style(), Qt::NoBrush);
    }

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
