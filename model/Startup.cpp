#include "model/Startup.h"

#include <QCoreApplication>
#include <QLocale>
#include <mutex>

#include "platform/I18n.h"
#include "platform/StringUtil.h"

// Q_INIT_RESOURCE must be used outside any namespace; the catalogues are compiled
// into this static library, whose resource initialiser the linker would drop.
static void registerTranslations()
{
    Q_INIT_RESOURCE(translations);
}

namespace Applications::DriveScope {

namespace {
const char domains[] = "quill.drivescope quill.drivescope.ata gen.quill.base quill.drivescope.smart spec.pci gen "
                       "quill.lib.hw quill.gen quill.drivescope.scsi quill.drivescope.nvme quill.drivescope.sdemmc "
                       "quill.drivescope.usb";
const char ids[] = "30 36 37 39 64 67 86 13341 13436 13437 13438 13439";
const char counts[] = "1711 1208 392 36 248 1547 667 10282 5 105 54 84";

QString text(const char *key, const char *fallback)
{
    return QCoreApplication::translate("quill.drivescope", fallback, key);
}

quint32 firstCharacter(const QString &text, char fallback)
{
    return text.isEmpty() ? quint32(fallback) : text.at(0).unicode();
}
} // namespace

void setupTranslationAndFormatting()
{
    static std::once_flag once;
    std::call_once(once, registerTranslations);
    using Libraries::QI18n::Translator;
    // No list of keys in use: a missing text falls back to the English in the code.
    Translator::registerDomain(domains, ids, counts, QLocale().name(), nullptr);
    Translator::mapContext("Applications::DriveScope::MainWindow", domains);
    StringUtil::setBIPrefixes(text("gen.var.prefix.bi", " KMGTPEZY"));
    StringUtil::setSIPrefixes(text("gen.var.prefix", " kMGTPEZY"));
    StringUtil::setUnitSeparator(QStringLiteral(" "));
    StringUtil::setDecimalSeparator(firstCharacter(text("gen.var.sep.decimal", "."), '.'));
    StringUtil::setThousandSeparator(firstCharacter(text("gen.var.sep.thousand", ","), ','));
}

} // namespace Applications::DriveScope
