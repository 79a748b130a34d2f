#include "lang/change_language.h"

#include "lang/language_globals.h"
#include "lang/language_lookup.h"

#include <QComboBox>
#include <QFont>
#include <QWidget>

namespace tarnlow {

void applyFaceName(QWidget& control) {
    QFont font = control.font();
    font.setFamilies({gs_font});
    control.setFont(font);
}

void changeComboBoxLanguage(QComboBox& list, const QString& tag) {
    applyFaceName(list);
    if (tag.isEmpty())
        return;
    list.setCurrentText(controlCaption(tag, list.currentText()));
}

} // namespace tarnlow
