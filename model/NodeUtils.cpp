// Node access helpers shared by the window, the acquisition and the models.
#include "model/NodeUtils.h"

#include "platform/Error.h"
#include "platform/Log.h"

namespace Applications::DriveScope {

namespace {
const int utilsChannel = SysLogFilter::reg("Utils");

// Logs a failed step and leaves its cause: "no rights" and "not found" as the
// backend said them, anything else as "open failed".
void failed(bool log, LogLevel level, const char *what, const QString &path, const QString &extra = QString())
{
    const quint32 cause = Error::get();
    if (log)
        SysLog::write(utilsChannel, level,
                      QString::fromLatin1(what) + path + extra + QStringLiteral("; error: ") +
                          SysLog::errorText(cause));
    Error::set(cause == Error::AccessDenied || cause == Error::NotFound ? cause : Error::OpenFailed);
}
} // namespace

Ref<Interfaces::Generic> openGeneric(const QString &path, int providerIndex, bool logFailures, int *failedStep)
{
    int step = 0;
    if (!failedStep)
        failedStep = &step;
    using namespace Services::Nodes;
    Ref<Node> node = Services::Filesystem::Client::Nodes::open(path);
    if (!node) {
        failed(logFailures, LogLevel::Severe, "Failed to open node ", path);
        *failedStep = 1;
        return nullptr;
    }
    Ref<Provider> provider = Provider::create(node, providerIndex);
    if (!provider) {
        failed(logFailures, LogLevel::Severe, "Failed to create node provider for ", path,
               QStringLiteral(" @ %1").arg(providerIndex));
        *failedStep = 2;
        return nullptr;
    }
    Ref<Interfaces::Generic> generic = Providers::Generic::create(provider);
    if (!generic) {
        failed(logFailures, LogLevel::Severe, "Failed to create generic provider for ", path,
               QStringLiteral(" @ %1").arg(providerIndex));
        *failedStep = 3;
        return nullptr;
    }
    return generic;
}

bool openStorage(const QString &path, Ref<Interfaces::Storage> &storage, Ref<Interfaces::Lockable> &lockable)
{
    using namespace Services::Nodes;
    Ref<Node> node = Services::Filesystem::Client::Nodes::open(path);
    if (!node) {
        failed(true, LogLevel::Severe, "Failed to open node ", path);
        return false;
    }
    Ref<Provider> provider = Provider::create(node, 0);
    if (!provider) {
        failed(true, LogLevel::Severe, "Failed to create node provider for ", path);
        return false;
    }
    storage = Providers::Storage::create(provider);
    if (!storage) {
        failed(true, LogLevel::Severe, "Failed to create storage provider for ", path);
        return false;
    }
    lockable = Providers::Lockable::create(provider);
    if (!lockable) {
        failed(true, LogLevel::Failure, "Failed to create lockable provider for ", path);
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
