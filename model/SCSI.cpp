// SCSI tab: inquiry texts and the VPD pages offered, read from the SCSI
// provider that "NODE_SET_SCSI" names, else from the drive node itself.
#include "model/SCSI.h"

#include <limits>

#include "model/NodeUtils.h"
#include "platform/I18n.h"
#include "platform/Log.h"
#include "platform/NumberParse.h"

namespace Applications::DriveScope::Model {

namespace {
const int scsiChannel = SysLogFilter::reg("Model.SCSI");

// The error-code form of log lines, also for numbers wider than 32 bits.
QString numberText(quint64 n)
{
    if (n <= std::numeric_limits<quint32>::max())
        return SysLog::errorText(quint32(n));
    return QStringLiteral("%1h (%2)").arg(QString::number(n, 16).toUpper()).arg(n);
}

struct VpdPage {
    quint64 number;
    QByteArray data;
};

QString pageLine(quint64 page)
{
    return (page < 0x10 ? QStringLiteral("0") : QString()) + QString::number(page, 16).toUpper() +
           QStringLiteral("h / ") + QString::number(page);
}
} // namespace

SCSI::SCSI(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    const auto readNode = [this](const QString &property) { return m_node ? m_node->read(property) : PropertyValue(); };

    Ref<Interfaces::Generic> source = m_node;
    const PropertyValue set = readNode(QStringLiteral("NODE_SET_SCSI"));
    if (!isMissing(set) && set.first().kind == Variant::Integer) {
        const quint64 n = set.first().integer;
        // A provider index beyond int cannot exist; it must not wrap to another provider.
        Ref<Interfaces::Generic> opened =
            n <= quint64(std::numeric_limits<int>::max()) ? openGeneric(path, int(n), true) : nullptr;
        if (opened)
            source = opened;
        else
            SysLog::write(scsiChannel, LogLevel::Failure,
                          QStringLiteral("Failed to open SCSI set ") + numberText(n) + QStringLiteral(" of node ") +
                              path);
    }
    const bool sourceIsNode = source == m_node;
    const auto readSource = [&](const QString &property) {
        PropertyValue value = source ? source->read(property) : PropertyValue();
        if (isMissing(value) && !sourceIsNode)
            value = readNode(property);
        return value;
    };

    GroupRecord &dev = group(trKey("main.grid.text.devinfo", "DEVICE INFORMATION"));
    dev.setString(trKey("quill.gen.text.model", "MODEL"), readSource(QStringLiteral("SCSI_MODEL")));
    dev.setString(trKey("quill.gen.text.vendor", "VENDOR"), readSource(QStringLiteral("SCSI_VENDOR")));
    dev.setString(trKey("quill.gen.text.serial", "SERIAL"), readSource(QStringLiteral("VPD_SERIAL")));
    dev.setString(trKey("quill.gen.text.revision", "REVISION"), readSource(QStringLiteral("SCSI_REVISION")));

    QList<VpdPage> pages;
    if (source) {
        const PropertyValue result = source->request({Variant::ofInt(1, QStringLiteral("GET_SCSI_VPDS"))});
        if (!isMissing(result)) {
            const QString prefix = QStringLiteral("VPD_PAGE_");
            for (const Variant &element : result) {
                quint64 number = 0;
                if (element.kind == Variant::Buffer && element.name.startsWith(prefix) &&
                    StrConv::toUnsigned(element.name.mid(prefix.size()), number))
                    pages.append({number, element.buffer});
            }
        }
    }
    QStringList lines;
    for (const VpdPage &page : pages)
        lines.append(pageLine(page.number));
    const QString label = trKey("scsi.vpd.avail", "AVAILABLE VPD PAGES");
    if (!lines.isEmpty())
        dev.setValue(label, lines.join(QLatin1Char('\n')));
    else
        dev.setValue(label, placeholder(trKey("gen.text.unavailable", "NOT AVAILABLE")), Group::Look::Dimmed);
}

SCSI::~SCSI() = default;

} // namespace Applications::DriveScope::Model
