// The file-tools screen.
#pragma once

#include <QDialog>

namespace vt {

class TFileEdit : public QDialog {
public:
    explicit TFileEdit(QWidget* owner);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};

}  // namespace vt
