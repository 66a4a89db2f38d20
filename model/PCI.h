// The PCI tab: where the drive's controller sits on the PCI bus and how it
// identifies itself, from the controller's PCI node or, failing that, from the
// PCI properties of the drive node.
#pragma once
#include "model/Group.h"

namespace Applications::DriveScope::Model {

class PCI : public Group {
    Q_OBJECT
public:
    PCI(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~PCI() override;

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

// True when the node carries what the PCI tab needs to find the controller:
// "PCI_ADR", "PCI_DEVICE" or "PCI_VENDOR" with any value, or a PCI companion
// of its "DEVICE_NODE". A null node gives false with error 0x8445.
bool hasPciInformation(const Ref<Interfaces::Generic> &node);

// The integer of `property` when present and at most `maximum`; 0 otherwise.
quint32 readNumber(const Ref<Interfaces::Generic> &node, const QString &property, quint64 maximum);
// The integer of the first element named `name` when it is one and at most 255.
bool readByte(const PropertyValue &list, const QString &name, quint8 &out);

} // namespace Applications::DriveScope::Model
