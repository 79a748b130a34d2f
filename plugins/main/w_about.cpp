#include "w_about.h"

#include "app/application_globals.h"
#include "lang/language_lookup.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnlow {

w_about::w_about(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("w_about"));
    const QString title =
        lookup(QStringLiteral("TEXT"), QStringLiteral("APP_NAME"), QStringLiteral("Tarnlow私服辅助程序"));
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(title, this);
    QFont bigger = name->font();
    bigger.setPointSizeF(bigger.pointSizeF() * 1.4);
    bigger.setBold(true);
    name->setFont(bigger);
    layout->addWidget(name);
    layout->addWidget(new QLabel(QStringLiteral("tarnlow_as %1").arg(gs_ver), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace tarnlow
