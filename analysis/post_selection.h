#ifndef KELVANED_POST_SELECTION_H
#define KELVANED_POST_SELECTION_H

#include <set>

namespace KelVane {

// A selection of increments: listed step numbers, every step, or the final one.
// Used for the result-file blocks and for the restart files that are saved.
class StepSelect {
public:
    // Whether the increment `step` is chosen when `final_step` is the last increment
    // of the analysis.
    bool selects(int step, int final_step) const
    {
        return all || (last && step == final_step) || steps.count(step) > 0;
    }

    void clear()
    {
        steps.clear();
        all = false;
        last = false;
    }

    std::set<int> steps;
    bool all = false;
    bool last = false;
};

// Which quantities go to the result file, and for which increments.
class PostProc : public StepSelect {
public:
    bool displacement = false;
    bool incr_displa = false;
    bool temperature = false;
    bool temp_increment = false;
    bool stress = false;
    bool equivalent = false;
};

}  // namespace KelVane

#endif
