// Reads a node-tree file of the simulator into plain records, collecting every
// problem as a sentence that names the file and the place. No Qt event loop,
// no global state: the backend and the tests call it the same way.
//
// Beyond the documented keys the reader knows:
// - a top-level "include": ["more/ata.json", ...]: further node-tree files, named
//   relative to the including file, read before the including file's own entries.
//   A node, companion or system key given again later replaces the earlier one
//   (so a file can include a base machine and override one drive). Include cycles
//   and nesting deeper than MaxIncludeDepth are reported and skipped.
// - "fail" may also name "read" (storage reads fail) and "request" (every set
//   request fails).
#pragma once
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/Nodes.h"
#include "platform/Variant.h"

namespace Services::Nodes::Sim {

using NamedValues = QList<QPair<QString, PropertyValue>>;

struct ProviderData {
    NamedValues properties; // in file order
    NamedValues sets;       // in file order
    bool operator==(const ProviderData &) const = default;
};

struct StorageData {
    quint64 blockSize = 0;
    quint64 blockCount = 0;
    QString image; // absolute path; empty when every block reads as zeros
    bool operator==(const StorageData &) const = default;
};

struct NodeData {
    QString path;
    bool drive = false;
    QString label;                     // the path when not given
    QString canonical;                 // the path when not given
    QMap<int, ProviderData> providers; // 0 is always there
    std::optional<StorageData> storage;
    QStringList fail; // operations that fail: "open", "provider", "generic", ...
    bool fails(const QString &operation) const { return fail.contains(operation); }
    bool operator==(const NodeData &) const = default;
};

struct NodeTree {
    bool hosted = false;
    QString bootParameter;
    QList<NodeData> nodes; // file order (included files first)
    QHash<QString, QList<CompanionNode>> companions;

    // nullptr when the tree has no node at `path`.
    const NodeData *find(const QString &path) const;
    // Adds a node, or replaces the node with the same path in its place.
    void put(NodeData node);

private:
    QHash<QString, qsizetype> m_index;
};

struct ReadResult {
    NodeTree tree;
    QStringList errors;    // "file: place: sentence", one per problem
    bool rootRead = false; // the top file was read and parsed
    bool complete = false; // every tree file (top and included) was read and parsed
    // Every tree and buffer file read or wanted, by absolute path, with a digest
    // of the content as read (null when it could not be read): what to watch.
    QMap<QString, QByteArray> files;
};

// The digest kept in ReadResult::files, of bytes read and of a file's whole
// content (null when the path is not a readable file).
QByteArray contentDigest(const QByteArray &content);
QByteArray fileDigest(const QString &path);

constexpr int MaxIncludeDepth = 8;
// Buffer files larger than this are refused (a blob, not a disk image).
constexpr qint64 MaxBufferFileSize = 16 * 1024 * 1024;

// Reads a tree from `json`. `fileName` names the file in messages; `baseDir`
// is where relative paths (includes, buffer files, images) start.
ReadResult readNodeTree(const QByteArray &json, const QString &fileName, const QString &baseDir);
// Reads the tree file at `path`; a file that cannot be read is one error and an empty tree.
ReadResult loadNodeTree(const QString &path);

} // namespace Services::Nodes::Sim
