#include "lang/uo_std_chk.h"

#include "lang/change_language.h"
#include "lang/language_lookup.h"

namespace tarnlow {

uo_std_chk::uo_std_chk(QWidget* parent)
    : QCheckBox(parent) {
    ue_change_lang();
}

uo_std_chk::uo_std_chk(const QString& tag, const QString& designText, QWidget* parent)
    : QCheckBox(parent)
    , m_tag(tag) {
    setText(designText);
    ue_change_lang();
}

void uo_std_chk::postChangeLanguage() {
    QMetaObject::invokeMethod(this, &uo_std_chk::ue_change_lang, Qt::QueuedConnection);
}

void uo_std_chk::ue_change_lang() {
    applyFaceName(*this);
    if (!m_tag.isEmpty())
        setText(controlCaption(m_tag, text()));
}

} // namespace tarnlow
