#pragma once

#include "lang/language_control.h"

#include <QCheckBox>

namespace tarnlow {

// A check box that follows the language file (see LanguageControl).
class uo_std_chk : public LanguageControl<QCheckBox> {
    Q_OBJECT
    Q_PROPERTY(QString tag READ tag WRITE setTag)

public:
    explicit uo_std_chk(QWidget* parent = nullptr)
        : LanguageControl(parent) {}
    uo_std_chk(const QString& tag, const QString& designText, QWidget* parent = nullptr)
        : LanguageControl(tag, designText, parent) {}

public Q_SLOTS:
    void ue_change_lang() { applyLanguage(); }
};

} // namespace tarnlow
