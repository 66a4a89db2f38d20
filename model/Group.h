// The grouped two-level table model behind most tabs: titled groups of
// label/value entries, filled once by a derived model's constructor.
#pragma once
#include <QAbstractItemModel>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Nodes.h"

namespace Applications::DriveScope::Model {

// "<%1>" around a translated text.
QString placeholder(const QString &text);
// "<NOT AVAILABLE ON THIS PLATFORM>"
QString notAvailableOnPlatform();

// How a number is written: base, zero-padding, an "h" after hexadecimal
// digits, a unit after a blank, and which placeholder a missing value gets.
// Written as a chain: NumberFormat::hex().padded(4).suffixed().
struct NumberFormat {
    int base = 10;
    QString unit;
    bool hexSuffix = false;
    int width = 0;
    bool missingOnPlatform = false; // "<NOT AVAILABLE ON THIS PLATFORM>" instead of "<NA>"

    static NumberFormat hex() { return NumberFormat().inBase(16); }
    NumberFormat inBase(int b) const
    {
        NumberFormat f = *this;
        f.base = b;
        return f;
    }
    NumberFormat withUnit(const QString &u) const
    {
        NumberFormat f = *this;
        f.unit = u;
        return f;
    }
    NumberFormat suffixed() const
    {
        NumberFormat f = *this;
        f.hexSuffix = true;
        return f;
    }
    NumberFormat padded(int w) const
    {
        NumberFormat f = *this;
        f.width = w;
        return f;
    }
    NumberFormat platformPlaceholder() const
    {
        NumberFormat f = *this;
        f.missingOnPlatform = true;
        return f;
    }
};

class Group : public QAbstractItemModel {
    Q_OBJECT
public:
    struct EntryRecord {
        QString label;
        QVariant value;
        bool dimmed = false;
        QString detail; // shown as the row's tooltip: the name of an id
    };

    using NumberFormat = Model::NumberFormat;
    enum class Look { Plain, Dimmed };

    // One titled group; owns its entries.
    class GroupRecord {
    public:
        explicit GroupRecord(const QString &title) : title(title) {}
        GroupRecord(const GroupRecord &) = delete;
        GroupRecord &operator=(const GroupRecord &) = delete;

        // Sets the row with that label, appending it when new.
        void setValue(const QString &label, const QVariant &value, Look look = Look::Plain);
        void setDimmedValue(const QString &label, const QString &text) { setValue(label, text, Look::Dimmed); }
        void setString(const QString &label, const PropertyValue &values);
        void setNamedString(const QString &label, const QString &name, const PropertyValue &values);
        void setNumber(const QString &label, const PropertyValue &values, const NumberFormat &format = {});
        void setBool(const QString &label, const PropertyValue &values);
        // The tooltip of the row `label` (which must exist already).
        void setDetail(const QString &label, const QString &detail);

        QString title;
        std::vector<std::unique_ptr<EntryRecord>> entries;
    };

    // Writes one row of `group` from a property value.
    using Formatter = std::function<void(GroupRecord &group, const QString &label, const PropertyValue &value)>;
    // Returns the value of a property by name.
    using Source = std::function<PropertyValue(const QString &property)>;

    explicit Group(QObject *parent = nullptr);
    ~Group() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

protected:
    // The group with that title, appended empty when new.
    GroupRecord &group(const QString &title);
    // A new group at the end even when the title is taken (the USB tab repeats
    // the titles of alternate settings).
    GroupRecord &appendGroup(const QString &title)
    {
        return *m_groups.emplace_back(std::make_unique<GroupRecord>(title));
    }
    // The node that setFormatted reads from (derived models that keep their node).
    void setNode(const Ref<Interfaces::Generic> &node) { m_node = node; }
    const Ref<Interfaces::Generic> &node() const { return m_node; }
    void setFormatted(GroupRecord &group, const QString &label, const QString &property, const Formatter &formatter,
                      const Source &source = Source());

private:
    std::vector<std::unique_ptr<GroupRecord>> m_groups;
    Ref<Interfaces::Generic> m_node;
};

} // namespace Applications::DriveScope::Model
