#pragma once

#include "lang/language_control.h"

#include <QPushButton>

namespace tarnlow {

// A command button that follows the language file (see LanguageControl).
class uo_std_cb : public LanguageControl<QPushButton> {
    Q_OBJECT
    Q_PROPERTY(QString tag READ tag WRITE setTag)

public:
    explicit uo_std_cb(QWidget* parent = nullptr)
        : LanguageControl(parent) {}
    uo_std_cb(const QString& tag, const QString& designText, QWidget* parent = nullptr)
        : LanguageControl(tag, designText, parent) {}

public Q_SLOTS:
    void ue_change_lang() { applyLanguage(); }
};

} // namespace tarnlow
