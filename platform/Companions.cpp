// Companion-node query with flags, over the one-argument form.
#include "platform/Nodes.h"

QList<Services::Nodes::CompanionNode> Services::Driver::Client::Utils::companionNodes(const QString &text, quint32)
{
    return companionNodes(text);
}
