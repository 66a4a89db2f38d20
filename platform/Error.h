// Per-thread platform error code: every platform call that fails leaves one here.
#pragma once
#include <QtGlobal>

namespace Error {
quint32 get();
void set(quint32 code);

// Codes shared between the program and its platform layer.
enum : quint32 {
    None = 0,
    NotFound = 0x8401,     // no node, property or set of that name
    AccessDenied = 0x8402, // the rights to read the device are missing
    IoFailed = 0x8403,     // the device refused or failed a read
    Unsupported = 0x8404,  // the operation does not exist for this node
    BadData = 0x8405,      // malformed source data
    OpenFailed = 0x8443,   // a node failed to open as requested
    BadArguments = 0x8446, // a call without interface or name
    NotOffered = 0x10001,  // the property is not offered
};
} // namespace Error
