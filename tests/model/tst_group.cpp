// The grouped model's filling rules and index layout, and the flat adapter over it.
#include <QAbstractItemModelTester>
#include <QtTest>

#include "TestSupport.h"
#include "model/Group.h"
#include "model/OneColumn.h"
#include "model/Roles.h"

using namespace Applications::DriveScope::Model;

namespace {
// Exposes the protected filling API.
class Filled : public Group {
public:
    using Group::group;
    using Group::setFormatted;
    using Group::setNode;
};

QString cell(const QAbstractItemModel &m, const QModelIndex &i, int role = Qt::DisplayRole)
{
    return m.data(i, role).toString();
}
bool dimmed(const QAbstractItemModel &m, const QModelIndex &i)
{
    return m.data(i, Roles::Dimmed).toBool();
}
} // namespace

class TestGroup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void valueRules_data();
    void valueRules();
    void groupsAndLabelsAreUnique();
    void formattedHostedRule();
    void oneColumnLayout();
};

void TestGroup::valueRules_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<PropertyValue>("value");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("isDimmed");

    QTest::newRow("string text") << "string" << PropertyValue{Variant::ofText("ACME")} << "ACME" << false;
    QTest::newRow("string empty") << "string" << PropertyValue{Variant::ofText("")} << "<EMPTY VALUE>" << true;
    QTest::newRow("string missing") << "string" << PropertyValue{} << "<NA>" << true;
    QTest::newRow("string none element") << "string" << PropertyValue{Variant::none()} << "<NA>" << true;
    QTest::newRow("string integer") << "string" << PropertyValue{Variant::ofInt(4)} << "<INVALID>" << true;
    QTest::newRow("bool yes") << "bool" << PropertyValue{Variant::ofInt(7)} << "YES" << false;
    QTest::newRow("bool no") << "bool" << PropertyValue{Variant::ofInt(0)} << "NO" << false;
    QTest::newRow("bool text") << "bool" << PropertyValue{Variant::ofText("1")} << "<INVALID>" << true;
    QTest::newRow("number hex") << "hex4B" << PropertyValue{Variant::ofInt(0x1f)} << "001Fh B" << false;
    QTest::newRow("number dec ignores h") << "dec-h" << PropertyValue{Variant::ofInt(31)} << "31" << false;
    QTest::newRow("number wide value unpadded")
        << "hex4B" << PropertyValue{Variant::ofInt(0x12345)} << "12345h B" << false;
    QTest::newRow("number max u64") << "dec-h" << PropertyValue{Variant::ofInt(~0ull)} << "18446744073709551615"
                                    << false;
    QTest::newRow("number text") << "hex4B" << PropertyValue{Variant::ofText("x")} << "<INVALID>" << true;
    QTest::newRow("number missing") << "hex4B" << PropertyValue{} << "<NA>" << true;
    QTest::newRow("number missing platform")
        << "naPlatform" << PropertyValue{} << "<NOT AVAILABLE ON THIS PLATFORM>" << true;
    QTest::newRow("named found") << "named" << PropertyValue{Variant::ofText("a", "X"), Variant::ofText("b", "NAME")}
                                 << "b" << false;
    QTest::newRow("named absent") << "named" << PropertyValue{Variant::ofText("a", "X")} << "<NA>" << true;
    QTest::newRow("named wrong kind") << "named" << PropertyValue{Variant::ofInt(3, "NAME")} << "<INVALID>" << true;
}

void TestGroup::valueRules()
{
    QFETCH(QString, op);
    QFETCH(PropertyValue, value);
    QFETCH(QString, shown);
    QFETCH(bool, isDimmed);

    Filled m;
    auto &g = m.group("G");
    if (op == "string")
        g.setString("L", value);
    else if (op == "bool")
        g.setBool("L", value);
    else if (op == "hex4B")
        g.setNumber("L", value, NumberFormat::hex().withUnit("B").suffixed().padded(4));
    else if (op == "dec-h")
        g.setNumber("L", value, NumberFormat().suffixed());
    else if (op == "naPlatform")
        g.setNumber("L", value, NumberFormat().platformPlaceholder());
    else if (op == "named")
        g.setNamedString("L", "NAME", value);

    const QModelIndex v = m.index(0, 1, m.index(0, 0));
    QCOMPARE(cell(m, v), shown);
    QCOMPARE(dimmed(m, v), isDimmed);
    // The label column is never grey.
    QVERIFY(!m.data(m.index(0, 0, m.index(0, 0)), Roles::Dimmed).toBool());
}

void TestGroup::groupsAndLabelsAreUnique()
{
    Filled m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    m.group("A").setValue("one", "1");
    m.group("B").setValue("x", "x");
    m.group("A").setValue("two", "2");
    m.group("A").setValue("one", "again", Group::Look::Dimmed);

    QCOMPARE(m.rowCount(), 2);
    const QModelIndex a = m.index(0, 0);
    QCOMPARE(m.rowCount(a), 2);
    QCOMPARE(cell(m, m.index(0, 0, a)), QString("one"));
    QCOMPARE(cell(m, m.index(0, 1, a)), QString("again"));
    QVERIFY(dimmed(m, m.index(0, 1, a)));
    QCOMPARE(cell(m, m.index(1, 1, a)), QString("2"));
    QVERIFY(!m.data(m.index(0, 1), Qt::DisplayRole).isValid());
}

void TestGroup::formattedHostedRule()
{
    auto &backend = TestSupport::MemoryBackend::install();
    backend.node("/d").p0().set("PRESENT", {Variant::ofText("here")});
    backend.node("/d").p0().set("EMPTY", {});
    auto generic = backend.generic(backend.provider(backend.open("/d"), 0));

    auto format = [](Group::GroupRecord &g, const QString &label, const PropertyValue &v) { g.setString(label, v); };
    for (bool hosted : {false, true}) {
        backend.isHosted = hosted;
        Filled m;
        m.setNode(generic);
        auto &g = m.group("G");
        m.setFormatted(g, "present", "PRESENT", format);
        m.setFormatted(g, "absent", "ABSENT", format);
        // Offered but empty: the node has it, so the formatter decides.
        m.setFormatted(g, "empty", "EMPTY", format);
        m.setFormatted(g, "sourced", "ABSENT", format,
                       [](const QString &) { return PropertyValue{Variant::ofText("from source")}; });
        const QModelIndex gi = m.index(0, 0);
        QCOMPARE(cell(m, m.index(0, 1, gi)), QString("here"));
        QCOMPARE(cell(m, m.index(1, 1, gi)), hosted ? QString("<NOT AVAILABLE ON THIS PLATFORM>") : QString("<NA>"));
        QCOMPARE(cell(m, m.index(2, 1, gi)), QString("<NA>"));
        QCOMPARE(cell(m, m.index(3, 1, gi)), QString("from source"));
    }
}

void TestGroup::oneColumnLayout()
{
    Filled m;
    for (auto [title, n] : {std::pair{"A", 2}, {"B", 0}, {"C", 3}}) {
        auto &g = m.group(title);
        for (int i = 0; i < n; ++i)
            g.setValue(QString("%1%2").arg(title).arg(i), i);
    }
    m.group("C").setValue("C2", 2, Group::Look::Dimmed);

    OneColumn flat(&m);
    QAbstractItemModelTester tester(&flat, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(flat.rowCount(), 8);
    QCOMPARE(flat.columnCount(), 2);
    QCOMPARE(flat.headerRows(), (QList<int>{0, 3, 4}));
    QStringList shown;
    for (int r = 0; r < flat.rowCount(); ++r)
        shown << cell(flat, flat.index(r, 0)) + '=' + cell(flat, flat.index(r, 1));
    QCOMPARE(shown, (QStringList{"A=", "A0=0", "A1=1", "B=", "C=", "C0=0", "C1=1", "C2=2"}));
    // Title rows are marked in both columns, entries in neither.
    QVERIFY(flat.data(flat.index(3, 0), Roles::TitleRow).toBool() &&
            flat.data(flat.index(3, 1), Roles::TitleRow).toBool());
    QVERIFY(!flat.data(flat.index(1, 0), Roles::TitleRow).toBool());
    QVERIFY(dimmed(flat, flat.index(7, 1)) && !dimmed(flat, flat.index(6, 1)));
}

QTEST_MAIN(TestGroup)
#include "tst_group.moc"
