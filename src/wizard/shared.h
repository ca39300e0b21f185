#pragma once

#include <QtGlobal>

namespace brimo {

// The wizard's shared state, one per run.
struct SharedState {
    qint16 currentStage = 0;
    bool updateInProgress = false;
    qint16 comPortNumber = 0;
};

} // namespace brimo
