#include "lang/uo_std_cb.h"

#include "lang/change_language.h"
#include "lang/language_lookup.h"

namespace tarnlow {

uo_std_cb::uo_std_cb(QWidget* parent)
    : QPushButton(parent) {
    ue_change_lang();
}

uo_std_cb::uo_std_cb(const QString& tag, const QString& designText, QWidget* parent)
    : QPushButton(parent)
    , m_tag(tag) {
    setText(designText);
    ue_change_lang();
}

void uo_std_cb::postChangeLanguage() {
    QMetaObject::invokeMethod(this, &uo_std_cb::ue_change_lang, Qt::QueuedConnection);
}

void uo_std_cb::ue_change_lang() {
    applyFaceName(*this);
    if (!m_tag.isEmpty())
        setText(controlCaption(m_tag, text()));
}

} // namespace tarnlow
