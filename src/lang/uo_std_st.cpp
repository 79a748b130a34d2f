#include "lang/uo_std_st.h"

#include "lang/change_language.h"
#include "lang/language_lookup.h"

namespace tarnlow {

uo_std_st::uo_std_st(QWidget* parent)
    : QLabel(parent) {
    ue_change_lang();
}

uo_std_st::uo_std_st(const QString& tag, const QString& designText, QWidget* parent)
    : QLabel(parent)
    , m_tag(tag) {
    setText(designText);
    ue_change_lang();
}

void uo_std_st::postChangeLanguage() {
    QMetaObject::invokeMethod(this, &uo_std_st::ue_change_lang, Qt::QueuedConnection);
}

void uo_std_st::ue_change_lang() {
    applyFaceName(*this);
    if (!m_tag.isEmpty())
        setText(controlCaption(m_tag, text()));
}

} // namespace tarnlow
