#pragma once

#include <QString>

class QComboBox;
class QWidget;

namespace tarnlow {

// Sets the control's face name to gs_font; size, weight and character set stay as they are.
void applyFaceName(QWidget& control);

// The answer of a drop-down list to ue_change_lang: the face name, then, for a non-empty tag, the
// shown text from section BUTTON under the tag, the current text being the default.
void changeComboBoxLanguage(QComboBox& list, const QString& tag);

} // namespace tarnlow
