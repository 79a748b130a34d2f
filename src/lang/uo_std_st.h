#pragma once

#include "lang/language_control.h"

#include <QLabel>

namespace tarnlow {

// A label that follows the language file (see LanguageControl).
class uo_std_st : public LanguageControl<QLabel> {
    Q_OBJECT
    Q_PROPERTY(QString tag READ tag WRITE setTag)

public:
    explicit uo_std_st(QWidget* parent = nullptr)
        : LanguageControl(parent) {}
    uo_std_st(const QString& tag, const QString& designText, QWidget* parent = nullptr)
        : LanguageControl(tag, designText, parent) {}

public Q_SLOTS:
    void ue_change_lang() { applyLanguage(); }
};

} // namespace tarnlow
