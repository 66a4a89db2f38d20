// Translation by key with an English fallback, on top of Qt's translator: a
// catalogue for a locale dropped into a translations folder is picked up at start.
#pragma once
#include <QString>

namespace Libraries::QI18n {
class Translator {
public:
    // Registers the space-separated domains for the locale and installs the
    // catalogue found for it (if any). ids and counts are kept as handed over;
    // usedKeys is a null-framed array of the keys the program uses.
    static bool registerDomain(const char *domains, const char *ids, const char *counts, const QString &localeName,
                               const char *const *usedKeys);
    // Lets QCoreApplication::translate(context, fallback, key) resolve keys of
    // `context` in the given domains.
    static void mapContext(const char *context, const char *domains);
    // The translation of `key`, or `fallback` when there is none.
    static QString translateWithEmpty(const char *domain, const char *fallback, const char *key);
};
} // namespace Libraries::QI18n

// Text of `key` in the program's own domain, English `fallback` when untranslated.
QString trKey(const char *key, const char *fallback);
