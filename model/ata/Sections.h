// The row tables of the ATA tab, one per section, and the order of the sections.
#pragma once
#include "model/ata/Rules.h"

namespace Applications::DriveScope::Model::Identify {

extern const std::span<const Row> generalRows;
extern const std::span<const Row> geometryRows;
extern const std::span<const Row> capabilityRows;
extern const std::span<const Row> sataRows;
extern const std::span<const Row> commandRows;
extern const std::span<const Row> featureRows;
extern const std::span<const Row> sctRows;
extern const std::span<const Row> writeReadVerifyRows;
extern const std::span<const Row> multipleRows;
extern const std::span<const Row> nvCacheRows;
extern const std::span<const Row> modeRows;
extern const std::span<const Row> microcodeRows;
extern const std::span<const Row> securityRows;
extern const std::span<const Row> powerRows;
extern const std::span<const Row> cfaRows;
extern const std::span<const Row> streamingRows;
extern const std::span<const Row> timingRows;

// Every section in display order, each with its own condition.
std::span<const Section> sections();

// Value texts shared by several tables.
QString transportTypeText(const Words &id);
QString transportVersionText(const Words &id);
QString worldWideNameText(const Words &id);
QString eraseTimeText(quint16 v, int level);

} // namespace Applications::DriveScope::Model::Identify
