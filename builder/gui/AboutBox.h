#pragma once

class QWidget;

namespace mivra {

// The About box: caption "About Mivra", the program icon, the version, OK.
// Shown modally over owner.
void showAboutBox(QWidget* owner);

}  // namespace mivra
