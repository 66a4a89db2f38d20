// SCAFFOLD until the simulator lands.
#include "platform/sim/SimBackend.h"

#include "platform/linux/LinuxBackend.h"

std::unique_ptr<Services::Nodes::Backend> Services::Nodes::Sim::createBackend(const QString &)
{
    return Services::Nodes::Linux::createBackend();
}
