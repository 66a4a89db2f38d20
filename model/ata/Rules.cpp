// The interpreter of the IDENTIFY row tables and the value texts they share.
#include "model/ata/Rules.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QLocale>
#include <QThread>

#include <atomic>

namespace Applications::DriveScope::Model::Identify {

namespace {

// Bumped whenever the application's translators change.
std::atomic<int> languageGeneration{0};

class LanguageWatch : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::LanguageChange)
            ++languageGeneration;
        return false;
    }
};

void watchLanguage()
{
    static std::atomic<QCoreApplication *> watched{nullptr};
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || watched.exchange(app) == app)
        return;
    // The watcher lives on the application's thread, whichever thread decodes first.
    QMetaObject::invokeMethod(
        app, [app] { app->installEventFilter(new LanguageWatch(app)); },
        app->thread() == QThread::currentThread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

} // namespace

// Every drive asks for the same few hundred texts, and a lookup through the
// translators costs more than the rest of the decode, so translations are
// kept until the language changes.
QString tr(const char *text, const char *key)
{
    struct Cache {
        int generation = -1;
        QHash<QPair<const void *, const void *>, QString> texts;
    };
    thread_local Cache cache;
    watchLanguage();
    if (cache.generation != languageGeneration) {
        cache.texts.clear();
        cache.generation = languageGeneration;
    }
    const QPair<const void *, const void *> id(text, key);
    auto it = cache.texts.constFind(id);
    if (it == cache.texts.constEnd())
        it = cache.texts.insert(id, QCoreApplication::translate("quill.drivescope", text, key));
    return *it;
}

QString na()
{
    return tr("n/a", "ata.id.gen.na");
}
QString none()
{
    return tr("none", "ata.id.gen.none");
}
QString unknownX(const QString &what)
{
    return tr("Unknown (%1)", "ata.id.gen.unknownx").arg(what);
}

QString hexText(quint64 v, int digits)
{
    return QString::number(v, 16).toUpper().rightJustified(digits, QLatin1Char('0')) + QLatin1Char('h');
}

QString numberText(quint64 v)
{
    return QLocale().toString(qulonglong(v));
}

void RowList::addHeader(const char *text, const char *key)
{
    rows.append({tr(text, key), QVariant(), true});
}

void RowList::addRow(const char *text, const char *key, const QVariant &value)
{
    rows.append({tr(text, key), value, false});
}

void RowList::addYesNo(const char *text, const char *key, bool flag)
{
    addRow(text, key, flag ? tr("yes", "ata.id.gen.yes") : tr("no", "ata.id.gen.no"));
}

void RowList::addSupported(const char *text, const char *key, bool flag)
{
    addRow(text, key, flag ? tr("supported", "ata.id.gen.supp") : tr("-", "ata.id.gen.notsupp"));
}

void RowList::addSupportedEnabled(const char *text, const char *key, bool supported, bool enabled)
{
    if (!supported)
        addRow(text, key, tr("-", "ata.id.gen.notsupp"));
    else if (enabled)
        addRow(text, key, tr("supported & enabled", "ata.id.gen.suppenabl"));
    else
        addRow(text, key, tr("supported", "ata.id.gen.supp"));
}

void RowList::addChoice(const char *text, const char *key, bool flag, const char *trueText, const char *trueKey,
                        const char *falseText, const char *falseKey)
{
    addRow(text, key, flag ? tr(trueText, trueKey) : tr(falseText, falseKey));
}

void RowList::add(std::span<const Row> table, const Context &c)
{
    for (const Row &row : table) {
        if (!row.when.holds(c))
            continue;
        const Value &v = row.value;
        switch (v.kind) {
        case Value::YesNo:
            addYesNo(row.label, row.key, c.id.bit(v.word, v.bit));
            break;
        case Value::Supported:
            addSupported(row.label, row.key, c.id.bit(v.word, v.bit));
            break;
        case Value::NotSupported:
            addSupported(row.label, row.key, !c.id.bit(v.word, v.bit));
            break;
        case Value::SupportedEnabled:
            addSupportedEnabled(row.label, row.key, c.id.bit(v.word, v.bit), c.id.bit(v.word2, v.bit2));
            break;
        case Value::Choice:
            addChoice(row.label, row.key, c.id.bit(v.word, v.bit), v.trueText, v.trueKey, v.falseText, v.falseKey);
            break;
        case Value::Number: {
            const QString n = numberText(v.field.of(c.id));
            addRow(row.label, row.key, v.unit ? QString::fromLatin1(v.unit).arg(n) : n);
            break;
        }
        case Value::Int:
            addRow(row.label, row.key, int(v.field.of(c.id)));
            break;
        case Value::Raw:
            if (v.field.words <= 2)
                addRow(row.label, row.key, uint(v.field.of(c.id)));
            else
                addRow(row.label, row.key, qulonglong(v.field.of(c.id)));
            break;
        case Value::Text: {
            const QString t = c.id.text(v.field.word, v.field.words);
            addRow(row.label, row.key, v.trimmed ? t.trimmed() : t);
            break;
        }
        case Value::Custom:
            addRow(row.label, row.key, v.odd(c));
            break;
        }
    }
}

void RowList::add(const Section &section, const Context &c)
{
    if (!section.when.holds(c))
        return;
    addHeader(section.label, section.key);
    add(section.rows, c);
}

} // namespace Applications::DriveScope::Model::Identify
