#include "engine/jump_state.h"

namespace carvo {

JumpState& jumpState() {
    static JumpState state;
    return state;
}

} // namespace carvo
