#pragma once

#include <QLabel>

namespace tarnlow {

// A label that follows the language file. Its tag is the language key of its caption;
// ue_change_lang sets the face name to gs_font and, for a non-empty tag, the caption from section
// BUTTON of the current language file, keeping the current text when the key is missing. The
// constructor that takes a tag applies the language at once, so that a control which posts nothing
// itself still shows the language file's text.
class uo_std_st : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString tag READ tag WRITE setTag)

public:
    explicit uo_std_st(QWidget* parent = nullptr);
    uo_std_st(const QString& tag, const QString& designText, QWidget* parent = nullptr);

    QString tag() const { return m_tag; }
    void setTag(const QString& tag) { m_tag = tag; }

    // Queues ue_change_lang, so that it runs once the window's own opening work has finished.
    void postChangeLanguage();

public Q_SLOTS:
    void ue_change_lang();

private:
    QString m_tag;
};

} // namespace tarnlow
