// What the input saw of a collection, as the findings the engineer reads.
#pragma once

#include "input/input_problem.h"
#include "model.h"

namespace triage {

Finding InputFinding(const InputProblem& problem);

}  // namespace triage
