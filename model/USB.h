// The USB tab: a grouped model filled once from the drive's node.
#pragma once
#include "model/Group.h"

namespace Applications::DriveScope::Model {

// Class, subclass and protocol of a USB device or alternate setting; each
// field counts only when its flag bit is set.
struct UsbClassTriple {
    enum Flag : quint32 { ClassValid = 0x1, SubclassValid = 0x2, ProtocolValid = 0x4 };
    quint32 flags = 0;
    quint64 usbClass = 0;
    quint64 usbSubclass = 0;
    quint64 usbProtocol = 0;

    // "8:6:80": up to three numbers split at ':'; a part that does not parse
    // leaves its field invalid.
    static UsbClassTriple fromText(const QString &text);
};

class USB : public Group {
    Q_OBJECT
public:
    USB(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent = nullptr);
    ~USB() override;

private:
    Ref<Interfaces::Generic> m_node;
    QString m_path;
};

} // namespace Applications::DriveScope::Model
