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
    // Every setter over every kind of value, "~" before a dimmed value, kept in
    // tests/expected/model/group-values.txt.
    void valueRules()
    {
        const QList<std::pair<const char *, PropertyValue>> values = {
            {"text", {Variant::ofText("ACME")}},
            {"empty text", {Variant::ofText("")}},
            {"nothing", {}},
            {"none element", {Variant::none()}},
            {"0", {Variant::ofInt(0)}},
            {"1Fh", {Variant::ofInt(0x1f)}},
            {"12345h", {Variant::ofInt(0x12345)}},
            {"max u64", {Variant::ofInt(~0ull)}},
            {"X then NAME", {Variant::ofText("a", "X"), Variant::ofText("b", "NAME")}},
            {"X only", {Variant::ofText("a", "X")}},
            {"integer NAME", {Variant::ofInt(3, "NAME")}},
        };
        using Set = void (*)(Group::GroupRecord &, const PropertyValue &);
        const QList<std::pair<const char *, Set>> setters = {
            {"string", [](Group::GroupRecord &g, const PropertyValue &v) { g.setString("L", v); }},
            {"bool", [](Group::GroupRecord &g, const PropertyValue &v) { g.setBool("L", v); }},
            {"hex, 4 digits, unit B",
             [](Group::GroupRecord &g, const PropertyValue &v) {
                 g.setNumber("L", v, NumberFormat::hex().withUnit("B").suffixed().padded(4));
             }},
            {"decimal",
             [](Group::GroupRecord &g, const PropertyValue &v) { g.setNumber("L", v, NumberFormat().suffixed()); }},
            {"platform placeholder",
             [](Group::GroupRecord &g, const PropertyValue &v) {
                 g.setNumber("L", v, NumberFormat().platformPlaceholder());
             }},
            {"named NAME", [](Group::GroupRecord &g, const PropertyValue &v) { g.setNamedString("L", "NAME", v); }},
        };
        QString out;
        for (const auto &[setter, set] : setters) {
            for (const auto &[name, value] : values) {
                Filled m;
                set(m.group("G"), value);
                const QModelIndex v = m.index(0, 1, m.index(0, 0));
                out += QStringLiteral("%1 of %2: %3%4\n")
                           .arg(QLatin1String(setter), QLatin1String(name), QLatin1String(dimmed(m, v) ? "~" : ""),
                                cell(m, v));
                QVERIFY(!dimmed(m, m.index(0, 0, m.index(0, 0)))); // the label column is never grey
            }
        }
        COMPARE_GOLDEN("model/group-values.txt", out);
    }

    void groupsAndLabelsAreUnique()
    {
        Filled m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.group("A").setValue("one", "1");
        m.group("B").setValue("x", "x");
        m.group("A").setValue("two", "2");
        m.group("A").setValue("one", "again", Group::Look::Dimmed);

        QCOMPARE(TestSupport::shownText(m), QString("[A]\none = ~again\ntwo = 2\n[B]\nx = x\n"));
        QVERIFY(!m.data(m.index(0, 1), Qt::DisplayRole).isValid());
    }

    void formattedHostedRule()
    {
        auto &backend = TestSupport::MemoryBackend::install();
        backend.node("/d").p0().set("PRESENT", {Variant::ofText("here")});
        backend.node("/d").p0().set("EMPTY", {});
        auto generic = backend.generic(backend.provider(backend.open("/d"), 0));

        auto format = [](Group::GroupRecord &g, const QString &label, const PropertyValue &v) {
            g.setString(label, v);
        };
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
            QCOMPARE(TestSupport::shownText(m),
                     QString("[G]\npresent = here\nabsent = ~%1\nempty = ~<NA>\nsourced = from source\n")
                         .arg(hosted ? "<NOT AVAILABLE ON THIS PLATFORM>" : "<NA>"));
        }
    }

    void oneColumnLayout()
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
};

QTEST_MAIN(TestGroup)
#include "tst_group.moc"
