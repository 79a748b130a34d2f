#pragma once

#include "lang/language_control.h"

#include <QLineEdit>

namespace tarnlow {

// A single-line edit that follows the language file (see LanguageControl).
class uo_std_sle : public LanguageControl<QLineEdit> {
    Q_OBJECT
    Q_PROPERTY(QString tag READ tag WRITE setTag)

public:
    explicit uo_std_sle(QWidget* parent = nullptr)
        : LanguageControl(parent) {}
    uo_std_sle(const QString& tag, const QString& designText, QWidget* parent = nullptr)
        : LanguageControl(tag, designText, parent) {}

public Q_SLOTS:
    void ue_change_lang() { applyLanguage(); }
};

} // namespace tarnlow
