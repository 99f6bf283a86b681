// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/answerrecord.h"

#include <vector>

// Keeps what an exercise hands out: the answers and the exercises started.
class AnswerRecorder : public tonvero::AnswerListener {
public:
    std::vector<tonvero::AnswerRecord> answers;
    std::vector<tonvero::ExerciseRecord> started;
    void exerciseStarted(const tonvero::ExerciseRecord& e) override { started.push_back(e); }
    void answered(const tonvero::AnswerRecord& a) override { answers.push_back(a); }
    void exercisePaused(const tonvero::ExerciseRecord&) override {}
    void exerciseEnded(const tonvero::ExerciseRecord&) override {}
};
