// Which revision of the ATA standard a drive follows, from the major (w80) and
// minor (w81) version words, and the texts that name it.
#pragma once
#include <QString>

namespace Applications::DriveScope::Model::Identify {

class Words;

// Level from w80 alone: 0 none, 1..11 highest bit, 12 for reserved bits (logged).
int majorLevel(quint16 w80);
// Level of a known minor version code, 0 for any other.
int minorLevel(quint16 w81);
// The level of a non-CompactFlash drive, 0 to 12.
int standardLevel(const Words &id);

// "ATA-%1", "ATA/ATAPI-%1", "ATA-8 ACS", ... for a level, "Unknown" for 0.
QString levelText(int level);
QString majorVersionText(const Words &id, bool cfa);
QString minorVersionText(const Words &id, bool cfa);

} // namespace Applications::DriveScope::Model::Identify
