// Decoding of the 12-byte S.M.A.R.T. attribute records.
#include "model/SmartRecords.h"

#include "platform/I18n.h"

namespace Applications::DriveScope::Model {

QList<SmartAttribute> decodeSmartRecords(const QByteArray &data, bool *ok)
{
    constexpr int recordSize = 12;
    QList<SmartAttribute> list;
    const bool whole = data.size() % recordSize == 0;
    if (ok)
        *ok = whole;
    if (!whole)
        return list;
    list.reserve(data.size() / recordSize);
    const auto *bytes = reinterpret_cast<const quint8 *>(data.constData());
    for (qsizetype at = 0; at < data.size(); at += recordSize) {
        const quint8 *r = bytes + at;
        SmartAttribute a;
        a.id = r[0];
        a.value = r[3];
        a.worst = r[4];
        for (int i = 10; i >= 5; --i)
            a.raw = (a.raw << 8) | r[i];
        a.threshold = r[11];
        list.append(a);
    }
    return list;
}

} // namespace Applications::DriveScope::Model

namespace Applications::DriveScope::Model {

namespace {

enum class RawRule { Number, Hours32, Low16Ms, Temperature };

struct RawDecoder {
    quint8 id;
    RawRule rule;
};

// Ids whose raw value the common convention does not read as one number.
constexpr RawDecoder rawDecoders[] = {
    {0x03, RawRule::Low16Ms},     // spin-up time: average in the low word, in ms
    {0x09, RawRule::Hours32},     // power-on hours; some drives keep minutes or ms in bytes 4-5
    {0xBE, RawRule::Temperature}, // airflow temperature
    {0xC2, RawRule::Temperature}, // temperature
};

// Drives known to count power-on time in minutes, by model prefix and firmware.
struct Quirk {
    const char *modelPrefix;
    const char *firmware; // "" for any
};
constexpr Quirk minuteDrives[] = {
    {"Maxtor 96147H8", ""},
    {"FUJITSU MHY2", "0085000B"},
};

quint8 byteAt(quint64 raw, int index)
{
    return quint8(raw >> (8 * index));
}

bool filler(quint8 byte)
{
    return byte == 0x00 || byte == 0xFF;
}

QString temperatureText(quint64 raw)
{
    const int current = byteAt(raw, 0);
    const QString text = QStringLiteral("%1 \u00B0C").arg(current);
    // Minimum and maximum: bytes 2 and 4 between filler bytes on most drives,
    // bytes 2 and 3 with 4 and 5 clear on others; shown only when they
    // bracket the current value.
    struct Layout {
        int min, max;
        bool matches;
    };
    const Layout layouts[] = {
        {2, 4, filler(byteAt(raw, 1)) && filler(byteAt(raw, 3)) && filler(byteAt(raw, 5))},
        {2, 3, byteAt(raw, 4) == 0 && byteAt(raw, 5) == 0},
    };
    for (const Layout &l : layouts) {
        const int min = byteAt(raw, l.min), max = byteAt(raw, l.max);
        if (l.matches && max != 0 && min <= current && current <= max)
            return text + trKey("smart.raw.minmax", " (min %1, max %2)").arg(min).arg(max);
    }
    return text;
}

} // namespace

AttributeState attributeState(const SmartAttribute &a)
{
    if (a.threshold == 0)
        return AttributeState::Ok;
    if (a.value <= a.threshold)
        return AttributeState::Failing;
    if (a.worst <= a.threshold)
        return AttributeState::FailedInPast;
    return AttributeState::Ok;
}

QString attributeStateName(AttributeState state)
{
    switch (state) {
    case AttributeState::Failing:
        return QStringLiteral("failing");
    case AttributeState::FailedInPast:
        return QStringLiteral("failed-in-past");
    case AttributeState::Ok:
        break;
    }
    return QStringLiteral("ok");
}

QString attributeStateText(AttributeState state)
{
    switch (state) {
    case AttributeState::Failing:
        return trKey("smart.state.failing", "Failing now: the value is at or below the threshold");
    case AttributeState::FailedInPast:
        return trKey("smart.state.failedinpast", "Failed in the past: the worst value is at or below the threshold");
    case AttributeState::Ok:
        break;
    }
    return QString();
}

quint64 rawNumber(const SmartAttribute &a)
{
    return a.raw & 0xFFFFFFFFFFFFull;
}

QString rawText(const SmartAttribute &a)
{
    const quint64 raw = rawNumber(a);
    RawRule rule = RawRule::Number;
    for (const RawDecoder &d : rawDecoders) {
        if (d.id == a.id)
            rule = d.rule;
    }
    switch (rule) {
    case RawRule::Hours32: {
        const quint64 count = raw & 0xFFFFFFFFu;
        return QStringLiteral("%1 h").arg(a.powerOnMinutes ? count / 60 : count);
    }
    case RawRule::Low16Ms:
        return QStringLiteral("%1 ms").arg(raw & 0xFFFF);
    case RawRule::Temperature:
        return temperatureText(raw);
    case RawRule::Number:
        break;
    }
    return QString::number(raw);
}

void applyDriveQuirks(QList<SmartAttribute> &attributes, const QString &model, const QString &firmware)
{
    bool minutes = false;
    for (const Quirk &q : minuteDrives) {
        if (model.startsWith(QLatin1String(q.modelPrefix)) && (!*q.firmware || firmware == QLatin1String(q.firmware)))
            minutes = true;
    }
    for (SmartAttribute &a : attributes)
        a.powerOnMinutes = minutes && a.id == 0x09;
}

} // namespace Applications::DriveScope::Model
