// The node-tree reader over any JSON text. Relative includes, buffer files and
// images point into an empty folder, so only the text itself is parsed.
#include <QTemporaryDir>

#include "FuzzSupport.h"
#include "platform/sim/NodeTreeReader.h"

using namespace Services::Nodes::Sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    static QTemporaryDir empty;
    const ReadResult result = readNodeTree(Fuzz::bytes(data, size), QStringLiteral("fuzz.json"), empty.path());
    if (!result.rootRead && result.errors.isEmpty())
        __builtin_trap(); // a file that did not parse always says why
    for (const QString &e : result.errors) {
        if (!e.contains(QLatin1String(": ")))
            __builtin_trap(); // every problem is one sentence after the name of its file
    }
    size_t sum = size_t(result.errors.size() + result.files.size() + result.complete);
    for (const NodeData &node : result.tree.nodes) {
        if (result.tree.find(node.path) == nullptr)
            __builtin_trap(); // every node read can be found by its path
        sum += size_t(node.providers.size() + node.fail.size() + node.label.size());
        for (const ProviderData &p : node.providers)
            sum += size_t(p.properties.size() + p.sets.size());
    }
    Fuzz::keep(sum);
    return 0;
}
