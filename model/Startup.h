// Process-wide set-up shared by the window and the report tool: translation
// domains and the number and unit formatting every model uses.
#pragma once

namespace Applications::DriveScope {
// Needs a QCoreApplication. Safe to call more than once.
void setupTranslationAndFormatting();
} // namespace Applications::DriveScope
