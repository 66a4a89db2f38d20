// Writes what a backend knows about every drive as a node-tree file (the
// simulator's format), so a machine can be replayed elsewhere: properties,
// property sets, providers, storage geometry, the PCI companion nodes and,
// on request, the first and last MiB of every drive as a sparse image.
// Redaction replaces serial numbers, WWNs, GUIDs and signatures by stand-ins,
// the same original always by the same stand-in.
#pragma once
#include <QString>

#include "platform/Nodes.h"

namespace Services::Nodes {

// False with a plain sentence in *error when the file (or an image) cannot be
// written; drives that fail to open are skipped and named in the file's
// "errors" list.
bool writeSnapshot(Backend &backend, const QString &file, bool withImages, bool redact, QString *error);

} // namespace Services::Nodes
