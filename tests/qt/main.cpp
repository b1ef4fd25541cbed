#include "platform/Look.h"
#include "tests/support/Questions.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vt::setUpApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    vt::testquestions::failOnUnexpectedQuestions();
    return RUN_ALL_TESTS();
}
