// The three outcomes of a status check shown with an icon above a table.
#pragma once

namespace Applications::DriveScope::Model {

enum class Verdict { Ok, Warning, Error };

} // namespace Applications::DriveScope::Model
