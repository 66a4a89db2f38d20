// The platform's record of one property value element, and the property value
// itself: a list of such elements (empty, or one element of kind None, means missing).
#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

struct Variant {
    enum Kind : quint32 { None = 0, Integer = 1, Text = 2, Buffer = 3, List = 4 };

    Kind kind = None;
    quint64 integer = 0;
    QString text;        // null when the element carries no text
    QByteArray buffer;   // null when the element carries no buffer
    QList<Variant> list; // nested elements of a List
    QString name;        // the element's own name; null when unnamed

    static Variant none(const QString &name = QString());
    static Variant ofInt(quint64 value, const QString &name = QString());
    static Variant ofText(const QString &value, const QString &name = QString());
    static Variant ofBuffer(const QByteArray &value, const QString &name = QString());
    static Variant ofList(const QList<Variant> &value, const QString &name = QString());

    bool operator==(const Variant &other) const;
};

using PropertyValue = QList<Variant>;

// Missing: no element, or exactly one element of kind None.
bool isMissing(const PropertyValue &value);

#include <QMetaType>
Q_DECLARE_METATYPE(Variant)
