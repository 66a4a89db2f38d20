// SCAFFOLD until the real machine's backend lands: says plainly that there is no drive source.
#include "platform/linux/LinuxBackend.h"

#include "platform/Error.h"

namespace Services::Nodes::Linux {
namespace {
class NoSource : public Backend {
public:
    QString describe() const override { return QStringLiteral("no drive source"); }
    bool available() const override { return false; }
    QStringList errors() const override
    {
        return {QStringLiteral("No drive source is available: set DRIVESCOPE_NODES to a node-tree file.")};
    }
    Ref<Node> open(const QString &) override { return fail<Node>(); }
    Ref<Provider> provider(const Ref<Node> &, int) override { return fail<Provider>(); }
    Ref<Interfaces::Generic> generic(const Ref<Provider> &) override { return fail<Interfaces::Generic>(); }
    Ref<Interfaces::Storage> storage(const Ref<Provider> &) override { return fail<Interfaces::Storage>(); }
    Ref<Interfaces::Lockable> lockable(const Ref<Provider> &) override { return fail<Interfaces::Lockable>(); }
    Ref<DeviceClient> deviceClient(const QString &) override { return fail<DeviceClient>(); }
    QList<DriveEntry> drives() override { return {}; }
    Ref<DeviceClient> driveListClient() override { return fail<DeviceClient>(); }
    QList<CompanionNode> companionNodes(const QString &) override { return {}; }
    bool pciBusExists() override { return false; }
    bool hosted() override { return false; }
    QString bootParameter() override { return QString(); }

private:
    template <typename T> Ref<T> fail()
    {
        Error::set(Error::NotFound);
        return nullptr;
    }
};
} // namespace

std::unique_ptr<Backend> createBackend() { return std::make_unique<NoSource>(); }
} // namespace Services::Nodes::Linux
