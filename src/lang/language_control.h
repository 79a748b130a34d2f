#pragma once

#include "lang/change_language.h"
#include "lang/language_lookup.h"

#include <QMetaObject>
#include <QString>
#include <QWidget>

namespace tarnlow {

// The shared body of the standard controls that follow the language file: a text control (a
// button, check box, line edit or label) with a tag, the language key of its caption. Changing the
// language sets the face name to gs_font and, for a non-empty tag, the caption from section BUTTON
// of the current language file, keeping the current text when the key is missing. Both
// constructors apply the language at once, so that a control which posts nothing itself still
// shows the language file's text. Each standard control derives from this and adds its meta-object
// (the tag property and the ue_change_lang slot).
template <typename TextControl> class LanguageControl : public TextControl {
public:
    QString tag() const { return m_tag; }
    void setTag(const QString& tag) { m_tag = tag; }

    // Queues the language change, so that it runs once the window's own opening work has finished.
    // A control deleted before then is skipped.
    void postChangeLanguage() {
        QMetaObject::invokeMethod(
            this, [this] { applyLanguage(); }, Qt::QueuedConnection);
    }

protected:
    explicit LanguageControl(QWidget* parent)
        : TextControl(parent) {
        applyLanguage();
    }

    LanguageControl(const QString& tag, const QString& designText, QWidget* parent)
        : TextControl(parent)
        , m_tag(tag) {
        this->setText(designText);
        applyLanguage();
    }

    void applyLanguage() {
        applyFaceName(*this);
        if (!m_tag.isEmpty())
            this->setText(controlCaption(m_tag, this->text()));
    }

private:
    QString m_tag;
};

} // namespace tarnlow
