// Node access helpers shared by the window, the acquisition and the models.
#include "model/NodeUtils.h"

#include "platform/Error.h"
#include "platform/Log.h"

namespace Applications::DriveScope {

namespace {
const int utilsChannel = SysLogFilter::reg("Utils");

void logFailure(int level, const char *what, const QString &path, const QString &extra = QString())
{
    SysLog::write(utilsChannel, level,
                  QString::fromLatin1(what) + path + extra + QStringLiteral("; error: ") + SysLog::errorText(Error::get()));
}
} // namespace

Ref<Interfaces::Generic> openGeneric(const QString &path, int providerIndex, bool logFailures)
{
    using namespace Services::Nodes;
    Ref<Node> node = Services::Filesystem::Client::Nodes::open(path);
    if (!node) {
        if (logFailures)
            logFailure(4, "Failed to open node ", path);
        Error::set(Error::OpenFailed);
        return nullptr;
    }
    Ref<Provider> provider = Provider::create(node, providerIndex);
    if (!provider) {
        if (logFailures)
            logFailure(4, "Failed to create node provider for ", path, QStringLiteral(" @ %1").arg(providerIndex));
        Error::set(Error::OpenFailed);
        return nullptr;
    }
    Ref<Interfaces::Generic> generic = Providers::Generic::create(provider);
    if (!generic) {
        if (logFailures)
            logFailure(4, "Failed to create generic provider for ", path, QStringLiteral(" @ %1").arg(providerIndex));
        Error::set(Error::OpenFailed);
        return nullptr;
    }
    return generic;
}

bool openStorage(const QString &path, Ref<Interfaces::Storage> &storage, Ref<Interfaces::Lockable> &lockable)
{
    using namespace Services::Nodes;
    Ref<Node> node = Services::Filesystem::Client::Nodes::open(path);
    if (!node) {
        logFailure(4, "Failed to open node ", path);
        Error::set(Error::OpenFailed);
        return false;
    }
    Ref<Provider> provider = Provider::create(node, 0);
    if (!provider) {
        logFailure(4, "Failed to create node provider for ", path);
        Error::set(Error::OpenFailed);
        return false;
    }
    storage = Providers::Storage::create(provider);
    if (!storage) {
        logFailure(4, "Failed to create storage provider for ", path);
        Error::set(Error::OpenFailed);
        return false;
    }
    lockable = Providers::Lockable::create(provider);
    if (!lockable) {
        logFailure(3, "Failed to create lockable provider for ", path);
        Error::set(Error::OpenFailed);
        return false;
    }
    return true;
}

bool hasProperty(const Ref<Interfaces::Generic> &generic, const QString &name)
{
    if (!generic || name.isNull()) {
        Error::set(Error::BadArguments);
        return false;
    }
    const int count = generic->propertyCount();
    for (int i = 0; i < count; ++i)
        if (generic->propertyName(i) == name)
            return true;
    Error::set(Error::NotOffered);
    return false;
}

QString valueText(const PropertyValue &value)
{
    if (value.isEmpty())
        return QString();
    const Variant &first = value.first();
    if (first.kind == Variant::Integer)
        return QString::number(first.integer);
    return first.text;
}

} // namespace Applications::DriveScope
