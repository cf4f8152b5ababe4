// Library-wide state that DllMain reports to the rest of glimmer.dll.
#pragma once

namespace glimmer {

// Process detach has begun: no window calls and no GDI+ shutdown from now on.
void MarkLibraryDetaching();

}  // namespace glimmer
