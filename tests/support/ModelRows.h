// Reads a grouped model back as titled groups of (label, value, dimmed) rows,
// through the item-model interface only, after QAbstractItemModelTester has
// checked it.
#pragma once
#include <QAbstractItemModel>
#include <QAbstractItemModelTester>
#include <QList>
#include <QString>

#include "model/Roles.h"

struct ShownRow {
    QString label;
    QString value;
    bool dimmed = false;
};

struct ShownGroup {
    QString title;
    QList<ShownRow> rows;
};

inline QList<ShownGroup> shownGroups(QAbstractItemModel &model)
{
    new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest, &model);
    QList<ShownGroup> groups;
    for (int g = 0; g < model.rowCount(); ++g) {
        const QModelIndex title = model.index(g, 0);
        ShownGroup group{model.data(title).toString(), {}};
        for (int r = 0; r < model.rowCount(title); ++r)
            group.rows.append(
                {model.data(model.index(r, 0, title)).toString(), model.data(model.index(r, 1, title)).toString(),
                 model.data(model.index(r, 1, title), Applications::DriveScope::Model::Roles::Dimmed).toBool()});
        groups.append(group);
    }
    return groups;
}

// The row of the first group titled `title`; a row with value "<no row>" when absent.
inline ShownRow shownRow(const QList<ShownGroup> &groups, const QString &title, const QString &label)
{
    for (const ShownGroup &group : groups)
        if (group.title == title) {
            for (const ShownRow &row : group.rows)
                if (row.label == label)
                    return row;
            break;
        }
    return {label, QStringLiteral("<no row>"), false};
}

inline QStringList shownTitles(const QList<ShownGroup> &groups)
{
    QStringList titles;
    for (const ShownGroup &group : groups)
        titles.append(group.title);
    return titles;
}
