#include "lang/uo_std_sle.h"

#include "lang/change_language.h"
#include "lang/language_lookup.h"

namespace tarnlow {

uo_std_sle::uo_std_sle(QWidget* parent)
    : QLineEdit(parent) {
    ue_change_lang();
}

uo_std_sle::uo_std_sle(const QString& tag, const QString& designText, QWidget* parent)
    : QLineEdit(parent)
    , m_tag(tag) {
    setText(designText);
    ue_change_lang();
}

void uo_std_sle::postChangeLanguage() {
    QMetaObject::invokeMethod(this, &uo_std_sle::ue_change_lang, Qt::QueuedConnection);
}

void uo_std_sle::ue_change_lang() {
    applyFaceName(*this);
    if (!m_tag.isEmpty())
        setText(controlCaption(m_tag, text()));
}

} // namespace tarnlow
