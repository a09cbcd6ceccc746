#include "engine/show_state.h"

namespace carvo {

void ShowStatePublisher::publish(const ShowState& state) {
    if (state == m_state)
        return;
    m_state = state;
    emit changed();
}

} // namespace carvo
