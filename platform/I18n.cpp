// Translation by key: catalogues are JSON objects of key -> text, one file per
// locale ("drivescope_<locale>.json"), looked for in $DRIVESCOPE_TRANSLATIONS
// (folders separated by ':'), then <program folder>/../share/drivescope/translations,
// then the compiled-in ":/translations". A Qt translator answers
// QCoreApplication::translate(context, fallback, key) for registered domains and
// mapped contexts, so Designer forms translate through the same catalogue.
#include "platform/I18n.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QPointer>
#include <QReadWriteLock>
#include <QSet>
#include <QTranslator>
#include <QtDebug>

#include <optional>

namespace Libraries::QI18n {

namespace {

struct State {
    QReadWriteLock lock;
    QSet<QString> domains;
    QHash<QString, QStringList> contexts; // mapped context -> its domains
    QHash<QString, QString> texts;        // key -> translated text
    QString catalogue;                    // the file the texts came from
    QByteArray ids;                       // handed over by the program, kept as they are
    QByteArray counts;
    QStringList usedKeys;
};

State &state()
{
    static State s;
    return s;
}

QStringList words(const char *text)
{
    return text ? QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts) : QStringList();
}

class KeyTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char *disambiguation, int n) const override
    {
        Q_UNUSED(sourceText);
        Q_UNUSED(n);
        if (!context || !disambiguation || !*disambiguation)
            return QString();
        State &s = state();
        QReadLocker lock(&s.lock);
        const QString ctx = QString::fromUtf8(context);
        if (!s.domains.contains(ctx) && !s.contexts.contains(ctx))
            return QString();
        // A null answer lets Qt fall back to the source text.
        const QString text = s.texts.value(QString::fromUtf8(disambiguation));
        return text.isEmpty() ? QString() : text;
    }
};

QPointer<KeyTranslator> installed;

// Installs the translator once there is an application to install it in.
void ensureInstalled()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || installed)
        return;
    installed = new KeyTranslator(app);
    QCoreApplication::installTranslator(installed);
}

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

QStringList searchFolders()
{
    QStringList folders;
    for (const QString &f : qEnvironmentVariable("DRIVESCOPE_TRANSLATIONS").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << f;
    const QString program = programFolder();
    if (!program.isEmpty())
        folders << QDir::cleanPath(program + QStringLiteral("/../share/drivescope/translations"));
    folders << QStringLiteral(":/translations");
    return folders;
}

// Reads one catalogue; nothing (with a warning) when it is not a JSON object of texts.
std::optional<QHash<QString, QString>> readCatalogue(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote()
            << QStringLiteral("Translation catalogue %1 cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (!doc.isObject()) {
        qWarning().noquote() << QStringLiteral("Translation catalogue %1 is not a JSON object of texts: %2")
                                    .arg(path, error.error == QJsonParseError::NoError ? QStringLiteral("wrong shape")
                                                                                       : error.errorString());
        return std::nullopt;
    }
    QHash<QString, QString> texts;
    int ignored = 0;
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.value().isString())
            texts.insert(it.key(), it.value().toString());
        else
            ++ignored;
    }
    if (ignored)
        qWarning().noquote() << QStringLiteral("Translation catalogue %1: %2 entries are not texts and were ignored")
                                    .arg(path)
                                    .arg(ignored);
    return texts;
}

} // namespace

bool Translator::registerDomain(const char *domains, const char *ids, const char *counts, const QString &localeName,
                                const char *const *usedKeys)
{
    const QStringList names = words(domains);
    if (names.isEmpty())
        return false;

    QStringList keys;
    if (usedKeys) {
        // Null-framed: a leading null, the keys, a closing null.
        const char *const *p = usedKeys;
        if (!*p)
            ++p;
        for (; *p; ++p)
            keys << QString::fromUtf8(*p);
    }

    const QString locale = localeName.isEmpty() ? QLocale().name() : localeName;
    QStringList candidates{QStringLiteral("drivescope_%1.json").arg(locale)};
    const QString language = locale.section(QLatin1Char('_'), 0, 0);
    if (language != locale && !language.isEmpty())
        candidates << QStringLiteral("drivescope_%1.json").arg(language);

    QHash<QString, QString> texts;
    QString found;
    for (const QString &folder : searchFolders()) {
        for (const QString &name : candidates) {
            const QString path = folder + QLatin1Char('/') + name;
            if (!QFileInfo(path).isFile())
                continue;
            if (auto catalogue = readCatalogue(path)) {
                texts = std::move(*catalogue);
                found = path;
                break;
            }
        }
        if (!found.isEmpty())
            break;
    }

    if (!found.isEmpty() && !keys.isEmpty()) {
        int missing = 0;
        for (const QString &k : std::as_const(keys))
            missing += texts.value(k).isEmpty() ? 1 : 0;
        if (missing)
            qDebug().noquote() << QStringLiteral("Translation catalogue %1: %2 of %3 keys in use have no text")
                                      .arg(found)
                                      .arg(missing)
                                      .arg(keys.size());
    }

    {
        State &s = state();
        QWriteLocker lock(&s.lock);
        for (const QString &d : names)
            s.domains.insert(d);
        s.texts = std::move(texts);
        s.catalogue = found;
        s.ids = QByteArray(ids);
        s.counts = QByteArray(counts);
        s.usedKeys = keys;
    }
    ensureInstalled();
    return true;
}

void Translator::mapContext(const char *context, const char *domains)
{
    if (!context || !*context)
        return;
    {
        State &s = state();
        QWriteLocker lock(&s.lock);
        s.contexts.insert(QString::fromUtf8(context), words(domains));
    }
    ensureInstalled();
}

QString Translator::translateWithEmpty(const char *domain, const char *fallback, const char *key)
{
    if (domain && key && *key) {
        State &s = state();
        QReadLocker lock(&s.lock);
        if (s.domains.contains(QString::fromUtf8(domain))) {
            const QString text = s.texts.value(QString::fromUtf8(key));
            if (!text.isEmpty())
                return text;
        }
    }
    return fallback ? QString::fromUtf8(fallback) : QString();
}

} // namespace Libraries::QI18n

QString trKey(const char *key, const char *fallback)
{
    return Libraries::QI18n::Translator::translateWithEmpty("quill.drivescope", fallback, key);
}
