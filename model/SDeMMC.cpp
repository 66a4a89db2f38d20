// SD/eMMC tab: card identification, then the SD or the MMC register fields
// that the card driver decoded, chosen by "CARD_TYPE".
#include "model/SDeMMC.h"

#include "model/NodeUtils.h"
#include "platform/I18n.h"
#include "platform/Sys.h"

namespace Applications::DriveScope::Model {

namespace {
void text(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    g.setString(label, v);
}
void yesNo(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    g.setBool(label, v);
}
void decimal(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    g.setNumber(label, v);
}
void frequency(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    g.setNumber(label, v, NumberFormat().withUnit(QStringLiteral("kHz")));
}

struct Row {
    const char *key;
    const char *fallback;
    const char *property;
    Group::Formatter formatter;
};
} // namespace

SDeMMC::SDeMMC(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    setNode(node);
    const auto read = [this](const QString &property) { return m_node ? m_node->read(property) : PropertyValue(); };

    GroupRecord &dev = group(trKey("main.grid.text.devinfo", "DEVICE INFORMATION"));
    const PropertyValue cardType = read(QStringLiteral("CARD_TYPE"));
    dev.setString(trKey("gen.text.name", "NAME"), read(QStringLiteral("NAME")));
    dev.setString(trKey("quill.gen.text.serial", "SERIAL"), read(QStringLiteral("SERIAL")));
    setFormatted(dev, trKey("sdemmc.cardtype", "CARD TYPE"), QStringLiteral("CARD_TYPE"), text,
                 [cardType](const QString &) { return cardType; });
    setFormatted(dev, trKey("sdemmc.sectoraccess", "SECTOR ACCESS"), QStringLiteral("SECTOR_ACCESS"), yesNo);

    if (isMissing(cardType) || cardType.first().kind != Variant::Text)
        return;
    const auto fill = [this](GroupRecord &g, std::initializer_list<Row> rows) {
        for (const Row &row : rows)
            setFormatted(g, trKey(row.key, row.fallback), QString::fromLatin1(row.property), row.formatter);
    };

    if (cardType.first().text == QLatin1String("SD")) {
        fill(group(trKey("sdemmc.sd", "SD INFORMATION")),
             {
                 {"sdemmc.cardtype", "CARD TYPE", "SD_CARD_TYPE", text},
                 {"quill.gen.text.version", "VERSION", "SD_VERSION", text},
                 {"sdemmc.proddate", "PRODUCTION DATE", "SD_PRODUCTION_DATE", text},
                 {"sdemmc.normalfreq", "NORMAL SPEED FREQUENCY", "SD_NORMAL_SPEED_FREQ", frequency},
                 {"sdemmc.sd.highspeed", "HIGH SPEED SUPPORTED", "SD_HIGH_SPEED_SUPPORTED", yesNo},
             });
        return;
    }
    if (cardType.first().text != QLatin1String("MMC"))
        return;

    GroupRecord &mmc = group(trKey("sdemmc.mmc", "MMC INFORMATION"));
    fill(mmc, {
                  {"sdemmc.cardtype", "CARD TYPE", "MMC_CBX", text},
                  {"quill.gen.text.version", "VERSION", "MMC_VERSION", text},
                  {"sdemmc.proddate", "PRODUCTION DATE", "MMC_PRODUCTION_DATE", text},
                  {"sdemmc.normalfreq", "NORMAL SPEED FREQUENCY", "MMC_NORMAL_SPEED_FREQ", frequency},
                  {"sdemmc.mmc.r2wfactor", "READ TO WRITE FACTOR", "MMC_R2W_FACTOR", decimal},
              });

    // The device types are a list of texts, one line each.
    const QString deviceTypeProperty = QStringLiteral("MMC_DEVICE_TYPE");
    QString deviceTypes = placeholder(trKey("gen.text.unavailable", "NOT AVAILABLE"));
    bool dimmed = true;
    const PropertyValue types = read(deviceTypeProperty);
    if (isMissing(types)) {
        if (Sys::info(Sys::InfoHosted) != 0 && !hasProperty(m_node, deviceTypeProperty))
            deviceTypes = notAvailableOnPlatform();
    } else {
        QStringList texts;
        for (const Variant &element : types)
            if (element.kind == Variant::Text && !element.text.isNull())
                texts.append(element.text);
        const QString joined = texts.join(QLatin1Char('\n'));
        if (!joined.isEmpty()) {
            deviceTypes = joined;
            dimmed = false;
        }
    }
    mmc.setValue(trKey("sdemmc.devicetype", "DEVICE TYPE"), deviceTypes,
                 dimmed ? Group::Look::Dimmed : Group::Look::Plain);

    fill(mmc, {
                  {"sdemmc.mmc.lifetimeest.a", "LIFE TIME ESTIMATE TYPE A", "MMC_DEVICE_LIFE_TIME_EST_TYP_A", text},
                  {"sdemmc.mmc.lifetimeest.b", "LIFE TIME ESTIMATE TYPE B", "MMC_DEVICE_LIFE_TIME_EST_TYP_B", text},
                  {"sdemmc.mmc.preeol", "PRE END-OF-LIFE INFO", "MMC_PRE_EOL_INFO", text},
                  {"sdemmc.mmc.attr.part", "PARTITIONING", "MMC_PARTITIONING_EN", yesNo},
                  {"sdemmc.mmc.attr.enh", "ENHANCED ATTRIBUTE", "MMC_ENH_ATTRIBUTE_EN", yesNo},
                  {"sdemmc.mmc.attr.ext", "EXTENDED ATTRIBUTE", "MMC_EXT_ATTRIBUTE_EN", yesNo},
              });
    const QString gppLabel = trKey("sdemmc.mmc.gpp.size", "GENERAL PURPOSE PARTITION %1 SIZE");
    for (int i = 1; i <= 4; ++i)
        setFormatted(mmc, gppLabel.arg(i), QStringLiteral("MMC_GPP%1_SIZE").arg(i), decimal);
}

SDeMMC::~SDeMMC() = default;

} // namespace Applications::DriveScope::Model
