// The program's thin layer over the node service: opening a node as far as its
// generic interface, its storage, testing for a property, value texts. Failures
// return null/false with Error::get() set (0x8402 no rights, 0x8401 not found,
// 0x8443 open failed for any other cause, 0x8446 bad arguments, 0x10001 property
// not offered) and are logged on channel "Utils".
#pragma once
#include <QString>

#include "platform/Nodes.h"

namespace Applications::DriveScope {

// Null on failure (error as above); logs the failure when logFailures is true.
// `failedStep`, when given, says which step failed: 1 node, 2 provider, 3 generic interface.
Ref<Interfaces::Generic> openGeneric(const QString &path, int providerIndex, bool logFailures,
                                     int *failedStep = nullptr);
// Fills both references; false on the first failure (a storage interface
// obtained before a lockable failure stays in `storage`).
bool openStorage(const QString &path, Ref<Interfaces::Storage> &storage, Ref<Interfaces::Lockable> &lockable);
bool hasProperty(const Ref<Interfaces::Generic> &generic, const QString &name);
// First element's decimal text (integer) or text; null for an empty value.
QString valueText(const PropertyValue &value);

} // namespace Applications::DriveScope
