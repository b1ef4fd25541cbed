// A question no test expected would wait for a person forever: while this
// answerer is set, it fails the test instead and is answered "否". Tests
// that expect a question set their own answerer and put this one back.
#pragma once

#include "platform/Messages.h"

#include <gtest/gtest.h>

namespace vt::testquestions {

inline void failOnUnexpectedQuestions()
{
    setQuestionAnswerer([](const QString& text) {
        ADD_FAILURE() << "an unexpected question: " << text.toStdString();
        return false;
    });
}

}  // namespace vt::testquestions
