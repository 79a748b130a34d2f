#pragma once

#include <QDialog>

namespace tarnlow {

// The about window: the program's title and version.
class w_about : public QDialog {
    Q_OBJECT

public:
    explicit w_about(QWidget* parent = nullptr);
};

} // namespace tarnlow
