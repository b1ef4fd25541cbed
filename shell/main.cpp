#include "platform/Look.h"
#include "shell/ControlUnit.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    vt::setUpApplication(app);
    vt::TMainControl mainControl;  // never shown
    return mainControl.FormCreate();
}
