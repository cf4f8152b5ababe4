// Runs a call into an outside driver component so that a fault inside it
// (an access violation, say) is reported instead of ending the process.
#pragma once

namespace tintora {

// Calls fn(context) on this thread. True when the call raised a structured
// exception that nothing inside it handled; its frames are then abandoned
// without unwinding, so fn must own nothing that needs cleaning up.
bool CallGuarded(void (*fn)(void* context), void* context);

}  // namespace tintora
