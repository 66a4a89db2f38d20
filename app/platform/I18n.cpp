// SCAFFOLD until the translation library lands: every text is its fallback.
#include "platform/I18n.h"

namespace Libraries::QI18n {
bool Translator::registerDomain(const char *, const char *, const char *, const QString &, const char *const *)
{
    return true;
}
void Translator::mapContext(const char *, const char *) {}
QString Translator::translateWithEmpty(const char *, const char *fallback, const char *)
{
    return QString::fromUtf8(fallback);
}
} // namespace Libraries::QI18n

QString trKey(const char *key, const char *fallback)
{
    return Libraries::QI18n::Translator::translateWithEmpty("quill.drivescope", fallback, key);
}
