// What a cell is, beside what it shows: the models say it through these roles and
// the window alone turns them into colours, fonts and icons.
#pragma once
#include <Qt>

namespace Applications::DriveScope::Model::Roles {
enum : int {
    // Qt::UserRole itself stays what the ATA model has always answered for its section rows.
    Dimmed = Qt::UserRole + 0x100, // bool: a value that is there but says little (greyed)
    TitleRow,                      // bool: a group's or a section's title row
    HexColumn,                     // bool: raw bytes in hexadecimal, shown fixed-pitch
    AttributeState,                // int, a Model::AttributeState: every cell of a S.M.A.R.T. row
};
} // namespace Applications::DriveScope::Model::Roles
