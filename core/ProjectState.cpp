#include "core/ProjectState.h"

namespace vt {

ProjectState Project;

void resetProjectState(ProjectState& state)
{
    state = ProjectState{};
}

}  // namespace vt
