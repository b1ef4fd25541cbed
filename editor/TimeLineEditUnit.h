// The timeline editor window.
#pragma once

#include <QDialog>

namespace vt {

class TplayAndEdit : public QDialog {
public:
    explicit TplayAndEdit(QWidget* owner);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};

}  // namespace vt
