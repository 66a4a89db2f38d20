// The line protocol between the window and drivescope-helper: one JSON object
// per line each way, values in the node-tree files' encoding
// (platform/VariantJson.h). Requests:
//   {"op":"hello"}                                  -> {"ok":true,"protocol":1}
//   {"op":"raw","drive":"sda"}                      -> {"ok":true,"node":[[name,value],...],
//                                                       "companion":[...],"sets":[...],
//                                                       "noRights":false,"standby":false,"log":[...]}
//   {"op":"read","drive":"sda","offset":0,"length":4096}
//                                                   -> {"ok":true,"data":{"buffer":"hex"}}
// Anything else gets {"ok":false,"error":"sentence"} and touches no device.
#pragma once
#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <optional>

#include "platform/linux/Properties.h"

namespace Services::Nodes::Linux::Helper {

constexpr int protocolVersion = 1;
// A request line longer than this is refused unread.
constexpr qsizetype maxRequest = 4096;
// No reply is longer than this; the window refuses longer ones.
constexpr qsizetype maxReply = 4 << 20;
// Block reads: at most this much per request, and only from the first and the
// last `window` bytes of a disk and of each partition the kernel knows (and
// the `window` before a partition, where a logical partition's table is):
// where partition tables and file-system labels live. The bulk of the data
// stays out of reach of the unprivileged window.
constexpr quint64 maxRead = 256 * 1024;
constexpr quint64 window = 1024 * 1024;

QJsonArray tableJson(const PropertyTable &table);
std::optional<PropertyTable> tableFrom(const QJsonValue &json);

// The disk of the last block reads, kept open while the window reads one
// drive (a refresh reads dozens of blocks; opening an optical or USB drive
// each time costs seconds). serve() lets go of it when the window is idle.
struct Session {
    std::unique_ptr<DiskProperties> props;
    std::shared_ptr<DiskProperties::Device> device;
};

// The helper's answer to one request line (without its line end).
QByteArray answer(const Reader &reader, const QByteArray &line);
QByteArray answer(const Reader &reader, const QByteArray &line, Session &session);
// Answers requests read from `in` on `out` until `in` closes. Returns the
// exit status: 0 at end of input, 1 when `out` fails. A second without a
// request closes the disk held open.
int serve(const Reader &reader, int in, int out);

} // namespace Services::Nodes::Linux::Helper
