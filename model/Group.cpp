// Grouped model: index identifiers pack the group row (bits 16-30), the entry
// row (bits 0-15) and a title flag (bit 31), the same layout OneColumn builds.
#include "model/Group.h"

#include "model/NodeUtils.h"
#include "model/Roles.h"
#include "platform/I18n.h"
#include "platform/Sys.h"

namespace Applications::DriveScope::Model {

namespace {
constexpr quint32 TitleFlag = 0x80000000u;

quint32 groupOf(quint32 id)
{
    return (id >> 16) & 0x7FFF;
}
quint32 entryOf(quint32 id)
{
    return id & 0xFFFF;
}

QString text(const char *key, const char *fallback)
{
    return Libraries::QI18n::Translator::translateWithEmpty("quill.drivescope", fallback, key);
}

QString naText()
{
    return placeholder(text("gen.text.unavailable", "NA"));
}
QString invalidText()
{
    return placeholder(text("gen.text.error", "INVALID"));
}
} // namespace

QString placeholder(const QString &value)
{
    return text("main.grid.format.placeholder", "<%1>").arg(value);
}

QString notAvailableOnPlatform()
{
    return placeholder(text("main.grid.text.na.platform", "NOT AVAILABLE ON THIS PLATFORM"));
}

void Group::GroupRecord::setValue(const QString &label, const QVariant &value, Look look)
{
    QVariant shown = value;
    bool dimmed = look == Look::Dimmed;
    if (value.typeId() == QMetaType::QString && value.toString().isEmpty()) {
        shown = placeholder(text("main.grid.text.empty", "EMPTY VALUE"));
        dimmed = true;
    }
    for (const auto &entry : entries) {
        if (entry->label == label) {
            entry->value = shown;
            entry->dimmed = dimmed;
            return;
        }
    }
    entries.push_back(std::make_unique<EntryRecord>(EntryRecord{label, shown, dimmed, QString()}));
}

void Group::GroupRecord::setString(const QString &label, const PropertyValue &values)
{
    if (isMissing(values))
        setDimmedValue(label, naText());
    else if (values.first().kind == Variant::Text)
        setValue(label, values.first().text.isNull() ? QString("") : values.first().text);
    else
        setDimmedValue(label, invalidText());
}

void Group::GroupRecord::setNamedString(const QString &label, const QString &name, const PropertyValue &values)
{
    if (!isMissing(values)) {
        for (const Variant &element : values) {
            if (!element.name.isNull() && element.name == name) {
                setString(label, PropertyValue{element});
                return;
            }
        }
    }
    setString(label, PropertyValue());
}

void Group::GroupRecord::setNumber(const QString &label, const PropertyValue &values, const NumberFormat &format)
{
    if (isMissing(values)) {
        setDimmedValue(label, format.missingOnPlatform ? notAvailableOnPlatform() : naText());
        return;
    }
    if (values.first().kind != Variant::Integer) {
        setDimmedValue(label, invalidText());
        return;
    }
    QString number = QString::number(qulonglong(values.first().integer), format.base).toUpper();
    if (number.size() < format.width)
        number = number.rightJustified(format.width, QLatin1Char('0'));
    if (format.hexSuffix && format.base == 16)
        number += QLatin1Char('h');
    if (!format.unit.isEmpty())
        number += QLatin1Char(' ') + format.unit;
    setValue(label, number);
}

void Group::GroupRecord::setBool(const QString &label, const PropertyValue &values)
{
    if (isMissing(values))
        setDimmedValue(label, naText());
    else if (values.first().kind != Variant::Integer)
        setDimmedValue(label, invalidText());
    else if (values.first().integer != 0)
        setValue(label, text("gen.button.yes", "YES"));
    else
        setValue(label, text("gen.button.no", "NO"));
}

void Group::GroupRecord::setDetail(const QString &label, const QString &detail)
{
    for (const auto &entry : entries) {
        if (entry->label == label)
            entry->detail = detail;
    }
}

Group::Group(QObject *parent) : QAbstractItemModel(parent) {}

Group::~Group() = default;

Group::GroupRecord &Group::group(const QString &title)
{
    for (const auto &g : m_groups)
        if (g->title == title)
            return *g;
    return appendGroup(title);
}

void Group::setFormatted(GroupRecord &target, const QString &label, const QString &property, const Formatter &formatter,
                         const Source &source)
{
    PropertyValue value;
    if (source)
        value = source(property);
    else if (m_node)
        value = m_node->read(property);
    if (Sys::info(Sys::InfoHosted) != 0 && isMissing(value) && !hasProperty(m_node, property)) {
        target.setDimmedValue(label, notAvailableOnPlatform());
        return;
    }
    formatter(target, label, value);
}

QModelIndex Group::index(int row, int column, const QModelIndex &parent) const
{
    if (!parent.isValid()) {
        if (row < 0 || row >= qsizetype(m_groups.size()))
            return QModelIndex();
        return createIndex(row, column, quintptr((quint32(row) << 16) | TitleFlag));
    }
    const quint32 id = quint32(parent.internalId());
    if (!(id & TitleFlag))
        return QModelIndex();
    const quint32 g = groupOf(id);
    if (g >= quint32(m_groups.size()) || row < 0 || row >= qsizetype(m_groups[g]->entries.size()))
        return QModelIndex();
    return createIndex(row, column, quintptr((g << 16) | quint32(row)));
}

QModelIndex Group::parent(const QModelIndex &index) const
{
    if (!index.isValid())
        return QModelIndex();
    const quint32 id = quint32(index.internalId());
    if (id & TitleFlag)
        return QModelIndex();
    const quint32 g = groupOf(id);
    return createIndex(int(g), 0, quintptr((g << 16) | TitleFlag));
}

int Group::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_groups.size());
    const quint32 id = quint32(parent.internalId());
    if (!(id & TitleFlag))
        return 0;
    const quint32 g = groupOf(id);
    return g < quint32(m_groups.size()) ? int(m_groups[g]->entries.size()) : 0;
}

int Group::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 2 : 1;
}

QVariant Group::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const quint32 id = quint32(index.internalId());
    const quint32 g = groupOf(id);
    if (g >= quint32(m_groups.size()))
        return QVariant();
    if (id & TitleFlag) {
        if (role == Qt::DisplayRole && index.column() == 0)
            return m_groups[g]->title;
        return QVariant();
    }
    const quint32 e = entryOf(id);
    if (e >= quint32(m_groups[g]->entries.size()))
        return QVariant();
    const EntryRecord *entry = m_groups[g]->entries[e].get();
    if (role == Qt::DisplayRole)
        return index.column() == 0 ? QVariant(entry->label) : entry->value;
    if (role == Roles::Dimmed && entry->dimmed && index.column() == 1)
        return true;
    if (role == Qt::ToolTipRole && !entry->detail.isEmpty())
        return entry->detail;
    return QVariant();
}

QVariant Group::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    if (section == 0)
        return QStringLiteral("Name");
    if (section == 1)
        return QStringLiteral("Value");
    return QVariant();
}

} // namespace Applications::DriveScope::Model
